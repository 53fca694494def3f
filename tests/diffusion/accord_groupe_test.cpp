// SPDX-License-Identifier: MPL-2.0
// L'accord du groupe en temps simulé : une ligne de besoins par cas, accordée à chaque veille
// de 100 ms comme le fait l'émetteur, et la latence attendue à quelques instants.
#include "link/diffusion/accord_groupe.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

namespace ravlo {
namespace {

constexpr std::uint64_t ms = 1'000'000;
constexpr InstantNs t0 = 1'000'000'000'000;

// Monte aussitôt, tient 30 s, descend en une fois un demi-pas au-dessus du plus haut besoin
// de la fenêtre, attend une fenêtre entière avant la descente suivante ; un besoin qui hésite
// au bord d'un pas ne la fait pas osciller. Un besoin que la file d'un récepteur ne tient pas
// ne compte pas : seul, il ne fait pas de groupe (2⁶⁴ − 2 faisait le tour des entiers
// jusqu'à 4 ms) ; après un besoin sain, il ne le fait pas monter (10 s le portaient à
// 10 004 ms). La borne elle-même passe, et reste sous ce que tient un récepteur.
TEST(AccordGroupe, MonteAussitotTientTrenteSecondesEtDescendDUnPas) {
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  using Point = std::pair<double, std::uint64_t>;  ///< (seconde, ns) ; latence 0 : pas de groupe
  struct Ligne {
    const char* nom;
    std::vector<Point> besoins;   ///< dès chaque seconde
    std::vector<Point> attendus;  ///< la latence à chaque seconde
    int changements;              ///< de la latence, sur toute la ligne
    std::size_t pieces = 2;
  };
  // De part et d'autre d'un bord de pas (27,9 et 28,1 ms voulus), chaque seconde ou toutes les
  // 40 s : sans la marge, le groupe descendrait à 28 ms à chaque besoin bas tenu 30 s.
  const auto hesitant = [](int periodeS) {
    std::vector<Point> b;
    for (int s = 0; s < 200; s += periodeS)
      b.push_back({s * 1.0, (s / periodeS % 2 ? 24'900 : 25'100) * ms / 1000});
    return b;
  };
  // clang-format off
  const std::vector<Ligne> lignes = {
      {"monte aussitôt, tient, descend d'un pas avec sa marge",
       {{0, 22 * ms}, {5, 30 * ms}, {10, 24 * ms}},
       {{0, 28 * ms}, {4.9, 28 * ms}, {5, 36 * ms}, {10, 36 * ms}, {38.9, 36 * ms}, {39, 32 * ms},
        {90, 32 * ms}}, 3},
      {"une descente en une fois, la suivante une fenêtre plus tard",
       {{0, 40 * ms}, {1, 20 * ms}, {2, 2 * ms}},
       {{29.9, 44 * ms}, {30, 28 * ms}, {58.9, 28 * ms}, {59, 8 * ms}}, 3},
      {"un besoin qui remonte pendant l'attente la repousse",
       {{0, 30 * ms}, {10, 20 * ms}, {20, 30 * ms}, {21, 20 * ms}},
       {{45, 36 * ms}, {49.9, 36 * ms}, {50, 28 * ms}}, 2},
      {"un besoin qui hésite chaque seconde", hesitant(1), {{0, 32 * ms}, {199, 32 * ms}}, 1},
      {"un besoin qui hésite toutes les 40 s", hesitant(40), {{0, 32 * ms}, {199, 32 * ms}}, 1},
      {"une pièce seule n'est pas un groupe", {{0, 30 * ms}}, {{0, 0}, {40, 0}}, 0, 1},
      {"2⁶⁴ − 1, seul", {{0, max}}, {{0, 0}, {5, 0}}, 0},
      {"2⁶⁴ − 2, seul", {{0, max - 1}}, {{0, 0}, {5, 0}}, 0},
      {"10 s après un besoin sain", {{0, 30 * ms}, {1, 10'000 * ms}}, {{5, 36 * ms}}, 1},
      {"2⁶³ ns après un besoin sain", {{0, 30 * ms}, {1, std::uint64_t{1} << 63}}, {{5, 36 * ms}}, 1},
      {"juste au-delà de la borne", {{0, 30 * ms}, {1, AccordGroupe::besoinMaxNs + 1}}, {{5, 36 * ms}}, 1},
      // 6 693 ms, plus 3, déjà au pas : sous les 6 700 ms que tient un récepteur.
      {"la borne", {{0, AccordGroupe::besoinMaxNs}}, {{0, 6'696 * ms}}, 1},
  };
  // clang-format on
  for (const auto& c : lignes) {
    SCOPED_TRACE(c.nom);
    AccordGroupe accord;
    std::optional<std::uint64_t> avant;
    int changements = 0;
    auto attendu = c.attendus.begin();
    for (int dixieme = 0; attendu != c.attendus.end(); ++dixieme) {
      const double s = dixieme / 10.0;
      std::optional<std::uint64_t> besoin;
      for (const auto& [depuisS, ns] : c.besoins)
        if (depuisS <= s + 1e-9) besoin = ns;
      accord.accorder(c.pieces, besoin, t0 + static_cast<InstantNs>(dixieme) * 100 * ms);
      changements += accord.latenceNs() != avant;
      avant = accord.latenceNs();
      if (attendu->first <= s + 1e-9) {
        EXPECT_EQ(accord.latenceNs().value_or(0), attendu->second) << "à " << s << " s";
        ++attendu;
      }
    }
    EXPECT_EQ(changements, c.changements);
  }
}

}  // namespace
}  // namespace ravlo
