// SPDX-License-Identifier: MPL-2.0
// Le fichier que `SortieWav` écrit depuis la lecture (sans rééchantillonnage), en temps
// virtuel : ni un réseau retenu ni un fil d'écriture réveillé en retard ne le trouent ; une
// coupure s'y entend comme un silence de sa durée, entre deux fondus ; le fichier garde le
// temps réel.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "plateforme/sortie_wav.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace ravlo {
namespace {

constexpr InstantNs ms = 1'000'000;
constexpr std::int64_t tramesParPaquet = 240;  // 5 ms
constexpr std::int64_t grandeur = 32'000;

// La trame `f` du flux envoyé, que le fichier permet de relire : jamais nulle, unique.
std::array<std::int16_t, 2> trameEnvoyee(std::int64_t f) {
  return {static_cast<std::int16_t>(f % grandeur + 1),
          static_cast<std::int16_t>(-(f / grandeur + 1))};
}

// Le rang dans le flux envoyé d'une trame écrite, ou -1 pour une trame de silence.
std::int64_t rang(std::int16_t g, std::int16_t d) {
  if (g == 0 && d == 0) return -1;
  return (g - 1) + grandeur * (-d - 1);
}

// En ms, lu en ns.
struct Intervalle {
  InstantNs debut = 0, fin = 0;
  [[nodiscard]] bool contient(InstantNs t) const { return t >= debut * ms && t < fin * ms; }
};

/// Le temps du fil d'écriture : chaque attente saute à son terme ; la première attente
/// commencée dans `sommeil` ne finit qu'à sa fin (réveil tardif). À `fin`, le temps se fige
/// et le signale : plus rien ne viendra, rien ne s'écrira plus.
class TempsVirtuel final : public SortieWav::Temps {
 public:
  TempsVirtuel(InstantNs fin, Intervalle sommeil) : fin_(fin), sommeil_(sommeil) {}

  InstantNs maintenant() override { return t_; }
  void dormirJusqua(InstantNs instant) override {
    if (t_ >= fin_) {
      fige_.test_and_set();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return;
    }
    if (sommeil_.contient(t_)) {
      instant = std::max(instant, sommeil_.fin * ms);
      sommeil_ = {};
    }
    t_ = std::min(std::max(t_, instant), fin_);
  }
  /// Faux si le fil d'écriture n'y est pas venu en une minute (il s'est arrêté).
  bool attendreFige() {
    for (int i = 0; i < 60'000 && !fige_.test(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return fige_.test();
  }

 private:
  InstantNs t_ = 0;
  const InstantNs fin_;
  Intervalle sommeil_;
  std::atomic_flag fige_;
};

// La lecture s'amorce à 50 ms ; le flux est envoyé pendant 6 s, un paquet de 5 ms à la fois.
TEST(RenduFichier, AttendLeReseauSansTrouMaisEcritLaCoupure) {
  const struct {
    const char* nom;
    Intervalle retenu;   ///< paquets envoyés là n'arrivent qu'à sa fin (fil réseau en retard)
    Intervalle perdu;    ///< paquets envoyés là n'arrivent jamais (coupure)
    Intervalle sommeil;  ///< fil d'écriture endormi de son début à sa fin
    bool attend;         ///< la sortie a dû attendre un bloc
    InstantNs silenceMinMs, silenceMaxMs;
    std::int64_t trous;
  } cas[] = {
      {"réseau régulier", {}, {}, {}, false, 0, 0, 0},
      {"écriture réveillée 400 ms tard", {}, {}, {1000, 1400}, false, 0, 0, 0},
      {"réseau retenu 300 ms", {1000, 1300}, {}, {}, true, 0, 0, 0},
      {"réseau retenu 900 ms", {1000, 1900}, {}, {}, true, 0, 0, 0},
      {"écriture en retard puis réseau retenu", {1100, 1500}, {}, {1000, 1300}, true, 0, 0, 0},
      {"coupure de 3 s", {}, {1000, 4000}, {}, true, 2900, 3100, 1},
  };
  constexpr InstantNs fin = 6000 * ms;
  const auto chemin = std::filesystem::temp_directory_path() /
                      ("ravlo-rendu-fichier-" + std::to_string(getpid()) + ".wav");
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    auto lecture = std::make_shared<FileLecture>(2400, false);
    RenduLecture rendu(lecture, false);
    auto temps = std::make_shared<TempsVirtuel>(fin, c.sommeil);
    auto sortie = SortieWav::creer(chemin, temps);
    ASSERT_TRUE(sortie.has_value()) << sortie.error();

    // Le fil réseau, joué sur le fil d'écriture juste avant chaque rendu.
    std::int64_t prochain = 0, refus = 0;
    std::array<std::int16_t, 2 * tramesParPaquet> pcm{};
    const VueOctets vue(reinterpret_cast<const std::uint8_t*>(pcm.data()), sizeof pcm);
    const auto rappel = [&](std::span<float> bloc, std::optional<InstantNs> h, bool peutAttendre) {
      for (;; ++prochain) {
        const InstantNs envoi = static_cast<InstantNs>(prochain) * 5 * ms;
        const InstantNs arrivee = c.retenu.contient(envoi) ? c.retenu.fin * ms : envoi;
        if (envoi > fin || arrivee > temps->maintenant()) break;
        if (c.perdu.contient(envoi)) continue;
        for (std::int64_t i = 0; i < tramesParPaquet; ++i)
          std::ranges::copy(trameEnvoyee(prochain * tramesParPaquet + i), pcm.begin() + 2 * i);
        EXPECT_EQ(lecture->placer(static_cast<std::uint32_t>(prochain), envoi, vue).sort,
                  FileLecture::Sort::place);
      }
      const bool pret = rendu.rendre(bloc, h, peutAttendre);
      refus += pret ? 0 : 1;
      return pret;
    };
    ASSERT_FALSE((*sortie)->demarrer(rappel).has_value());
    EXPECT_TRUE(temps->attendreFige());
    (*sortie)->arreter();
    sortie->reset();

    std::ifstream f(chemin, std::ios::binary);
    const Octets octets{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    const auto wav = FichierWav::lire(octets);
    ASSERT_TRUE(wav.has_value());
    std::vector<std::int64_t> rangs(wav->octetsDonnees / 4);
    for (std::size_t i = 0; i < rangs.size(); ++i) {
      const std::uint8_t* o = octets.data() + wav->debutDonnees + 4 * i;
      rangs[i] = rang(static_cast<std::int16_t>(o[0] | o[1] << 8),
                      static_cast<std::int16_t>(o[2] | o[3] << 8));
    }

    // Le temps réel tenu : les blocs dus de 0 à 6 s, ni plus ni moins.
    EXPECT_EQ(rangs.size(), (fin / (10 * ms) + 1) * SortieWav::tramesParBloc);
    // Après l'amorce, le flux dans l'ordre, trame pour trame, hormis le silence d'une coupure
    // et ses fondus (2,5 ms de part et d'autre, où le son n'est plus lisible).
    const auto premier = std::ranges::find_if(rangs, [](std::int64_t r) { return r >= 0; });
    ASSERT_NE(premier, rangs.end());
    const auto debut = static_cast<std::size_t>(premier - rangs.begin());
    std::vector<bool> fondu(rangs.size(), false);
    for (std::size_t i = debut; i < rangs.size(); ++i) {
      if (rangs[i] >= 0) continue;
      const std::size_t n = FileLecture::tramesFondu;
      for (std::size_t j = i > n ? i - n : 0; j < std::min(rangs.size(), i + n + 1); ++j)
        fondu[j] = true;
    }
    std::size_t silence = 0, sauts = 0;
    std::int64_t precedent = rangs[debut];
    for (std::size_t i = debut + 1; i < rangs.size(); ++i) {
      if (rangs[i] < 0) {
        ++silence;
      } else if (!fondu[i]) {
        if (rangs[i] != precedent + 1) ++sauts;
        EXPECT_GT(rangs[i], precedent) << "trame rejouée à " << i;
        precedent = rangs[i];
      }
    }
    EXPECT_EQ(sauts, c.trous) << "seule une coupure fait sauter le flux";
    EXPECT_GE(silence / 48, c.silenceMinMs);
    EXPECT_LE(silence / 48, c.silenceMaxMs);
    EXPECT_EQ(lecture->etat().trous, c.trous);
    EXPECT_EQ(refus > 0, c.attend) << refus;
  }
  std::filesystem::remove(chemin);
}

}  // namespace
}  // namespace ravlo
