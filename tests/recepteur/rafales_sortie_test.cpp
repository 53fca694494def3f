// SPDX-License-Identifier: MPL-2.0
// Une sortie qui tire ses blocs par rafales, comme le fil principal d'une page : la file,
// sa cible apprise, ne doit pas se tarir en pleine lecture.
#include "recepteur/rafales_sortie.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "recepteur/file_lecture.hpp"
#include "recepteur/pilote_file.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace ravlo {
namespace {

struct Cas {
  std::int64_t frequence;
  int blocsParRafale;
  double livraisonMs;  ///< les paquets arrivent groupés toutes les ~livraisonMs
};

/// Trous après le démarrage (1,5 s de son : la file part de la cible de départ, et les
/// masquages allongés la mènent à celle apprise), en 20 s : paquets de 6,7 ms livrés par groupes
/// (un WebSocket), blocs de 512 trames tirés `blocsParRafale` d'affilée.
std::int64_t trous(const Cas& c, std::uint64_t graine) {
  auto file = std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true);
  PiloteFile pilote(file);
  RenduLecture rendu(file, true, c.frequence);
  RafalesSortie rafales;
  constexpr int bloc = 512;
  const double blocMs = bloc * 1000.0 / static_cast<double>(c.frequence);
  const double paquetMs = 320.0 / 48.0;
  std::vector<float> son(2 * bloc);
  const auto alea = [&] {
    graine = graine * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(graine >> 11) / 9007199254740992.0;
  };
  const auto ns = [](double enMs) { return InstantNs{3'600'000'000'000} + llround(enMs * 1e6); };
  std::uint32_t sequence = 0;
  double livraison = 5, tirage = 0, tic = 0;
  std::int64_t k = 0;
  std::optional<double> premierSon;
  std::int64_t trousDuDebut = 0;
  for (;;) {
    const double t = std::min({livraison, tirage, tic});
    if (t > 20'000) break;
    if (t == livraison) {
      for (; sequence * paquetMs + 1 <= t; ++sequence) {
        const auto p = PaquetAudio::creer(
            sequence, 1'000'000'000ULL + static_cast<std::uint64_t>(sequence * paquetMs * 1e6),
            Octets(1280, 0x10));
        (void)pilote.recevoir(*p, ns(t));
      }
      livraison = t + alea() * c.livraisonMs;
    } else if (t == tirage) {
      const double heure = static_cast<double>(k) * blocMs + 60;
      // Comme la page : ce que la rafale prend en plus du bloc, noté avec lui.
      rendu.changerBlocTire(
          bloc + std::llround(rafales.noter(heure, t) * static_cast<double>(c.frequence) / 1000.0));
      rendu.rendre(son, ns(heure));
      const auto e = file->etat();
      if (e.commencee && !premierSon) premierSon = t;
      if (premierSon && t - *premierSon < 1500) trousDuDebut = e.trous;
      ++k;
      tirage = std::max(t, static_cast<double>(k / c.blocsParRafale * c.blocsParRafale) * blocMs);
    } else {
      pilote.piloter(ns(t));
      rendu.changerVitesse(pilote.vitessePPM());
      tic = t + 200;
    }
  }
  return file->etat().trous - trousDuDebut;
}

TEST(RafalesSortie, LaFileCouvreLaRafaleEntiere) {
  for (const Cas c :
       {Cas{44'100, 2, 3}, Cas{48'000, 2, 3}, Cas{44'100, 3, 10}, Cas{48'000, 4, 3}}) {
    for (std::uint64_t graine = 1; graine <= 5; ++graine) {
      EXPECT_EQ(trous(c, graine), 0)
          << c.frequence << " Hz, rafales de " << c.blocsParRafale << ", graine " << graine;
    }
  }
}

TEST(RafalesSortie, ExcesSurLaPlusPetiteAvance) {
  RafalesSortie r;
  // Deux blocs de 10 ms tirés d'affilée toutes les 20 ms : le second a 10 ms d'avance de plus.
  double exces = 0;
  for (int i = 0; i < 100; ++i) exces = r.noter(40.0 + 10 * i, 20.0 * (i / 2));
  EXPECT_NEAR(exces, 10.0, 1e-9);
  // Gardé, puis diminué de moitié en 20 s sans rafale ; une heure inconnue ne change rien.
  EXPECT_NEAR(r.noter(std::nan(""), 1000), exces, 1e-9);
  EXPECT_NEAR(r.noter(20'000.0 + 40 + 990, 20'000.0 + 990), 5.0, 0.1);
}

}  // namespace
}  // namespace ravlo
