// SPDX-License-Identifier: MPL-2.0
// L'heure que le rendu rééchantillonné donne aux morceaux qu'il tire de la file : celle où
// leur première trame sort, l'avance du filtre comprise. Les latences mesurées en dépendent.
#include "recepteur/rendu_lecture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ravlo {
namespace {

constexpr double nsParTrame = 1e9 / 48'000.0;
constexpr std::int64_t tramesLecture = 320;  // trames par paquet

InstantNs capture(std::uint32_t sequence) {
  return 5'000'000'000 +
         static_cast<InstantNs>(std::llround(sequence * tramesLecture * nsParTrame));
}

// Une marche : silence jusqu'au paquet 50, puis un niveau constant. La sortie passe à
// mi-hauteur une demi-trame d'entrée avant la première trame du niveau ; chaque morceau
// daté doit annoncer ce passage à l'heure où il sort vraiment.
TEST(RenduLecture, DateChaqueMorceauALHeureOuIlSort) {
  for (const double ppm : {1000.0, -700.0, 0.0}) {
    constexpr std::uint32_t paquets = 100;
    constexpr std::uint32_t marche = 50;
    auto lecture = std::make_shared<FileLecture>(paquets * tramesLecture, false);
    for (std::uint32_t s = 0; s < paquets; ++s) {
      const std::uint8_t octet = s < marche ? 0x00 : 0x20;  // 0x2020 : 0,25 environ
      lecture->placer(s, capture(s), Octets(4 * tramesLecture, octet));
    }
    RenduLecture rendu(lecture, true);
    rendu.changerVitesse(ppm);
    const double pas = 1 + ppm * 1e-6;  // trames d'entrée par trame de sortie

    constexpr InstantNs heure0 = 9'000'000'000;
    constexpr std::size_t tramesBloc = 441;
    std::vector<float> sortie;
    std::vector<FileLecture::Rendu> datations;
    std::vector<float> bloc(2 * tramesBloc);
    for (std::size_t b = 0; b < 60; ++b) {
      const auto debut = static_cast<double>(b * tramesBloc);
      rendu.rendre(bloc, heure0 + static_cast<InstantNs>(std::llround(debut * nsParTrame)));
      for (std::size_t i = 0; i < tramesBloc; ++i) sortie.push_back(bloc[2 * i]);
      if (const auto r = lecture->etat().dernierRendu) datations.push_back(*r);
    }

    const float niveau = sortie.back();
    ASSERT_GT(niveau, 0.2F);
    std::size_t m = 1;
    while (m < sortie.size() && sortie[m] < niveau / 2) ++m;
    ASSERT_LT(m, sortie.size());
    const double passage =
        static_cast<double>(m - 1) + (niveau / 2 - sortie[m - 1]) / (sortie[m] - sortie[m - 1]);
    const double heurePassage = static_cast<double>(heure0) + passage * nsParTrame;

    ASSERT_GT(datations.size(), 50u);
    for (const auto& d : datations) {
      const double entree =
          static_cast<double>(ecartSigneNs(capture(marche), d.captureNs)) / nsParTrame - 0.5;
      const double annoncee = static_cast<double>(d.heureNs) + entree / pas * nsParTrame;
      EXPECT_NEAR(annoncee, heurePassage, nsParTrame / 4) << ppm << " ppm, " << d.heureNs;
    }
  }
}

// La taille des blocs règle la cible : c'est celle que la sortie demande, pas celle des
// morceaux que le rendu tire, et le bloc isolé qui suit une sous-alimentation n'y compte pas.
TEST(RenduLecture, LaTailleDesBlocsEstCelleDeLaSortieSansSesAccrocs) {
  struct Cas {
    std::vector<std::size_t> blocs;
    std::int64_t attendu;
  };
  const std::vector<Cas> cas = {
      {{441}, 441},                                // plus grand qu'un morceau
      {{160, 160, 160, 160, 160, 720}, 160},       // un accroc
      {{160, 160, 160, 160, 160, 720, 720}, 160},  // deux de suite
      {{160, 160, 240, 240, 240, 240, 240}, 240},  // la sortie a changé de latence
      {{160, 160, 160, 160, 160, 160, 160, 160, 160, 720, 160}, 160},
  };
  for (const bool reechantillonner : {false, true}) {
    for (const auto& c : cas) {
      auto lecture = std::make_shared<FileLecture>(tramesLecture, false);
      RenduLecture rendu(lecture, reechantillonner);
      for (const std::size_t trames : c.blocs) {
        std::vector<float> bloc(2 * trames);
        rendu.rendre(bloc, std::nullopt);
      }
      EXPECT_EQ(lecture->etat().blocTrames, c.attendu)
          << (reechantillonner ? "rééchantillonné, " : "") << c.blocs.size() << " blocs";
    }
  }
}

}  // namespace
}  // namespace ravlo
