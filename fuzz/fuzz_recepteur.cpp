// SPDX-License-Identifier: MPL-2.0
// Le point d'entrée des datagrammes du récepteur, appairé d'emblée : les clés viennent d'un
// tirage déterministe fait une fois, sans rejouer l'appairage à chaque entrée. Une entrée est
// une suite de pas (`fuzz/graines.cpp` en écrit) : datagrammes bruts, contenus que l'émetteur
// scelle en audio ou en horloge sous la vraie clé, rejeux et tics, de l'expéditeur ou d'une
// source étrangère. Vérifie : jamais plus de trois datagrammes rendus à la fois, une file qui
// reste dans sa capacité, des compteurs cohérents, et le rendu qui tire toujours. Rendus et
// arrivées s'entremêlent : désordre, pertes, retards, sauts et rattrapages.
//
// Un pas : sorte (1 octet, bit 7 : d'une source étrangère), attente (1 octet, × 0,2 ms), puis
// selon sorte % 5 : 0 brut, 1 audio, 2 horloge : longueur (2 octets) et octets ; 3 rejeu :
// rang (1 octet) ; 4 tic : trames à rendre (2 octets).
#include <vector>

#include "bench/recepteur_appaire.hpp"
#include "outils_fuzz.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace {

using namespace ravlo;

// Les clés des deux sens : 64 octets d'un tirage déterministe, faits une fois.
const Octets cles = HasardDeterministe(39).octetsAleatoires(64);
Cle cle(std::size_t debut) {
  Cle c{};
  std::copy_n(cles.begin() + static_cast<std::ptrdiff_t>(debut), c.size(), c.begin());
  return c;
}

// La file (4 Mo) sert à toutes les entrées, remise à neuf au début de chacune : la
// construire coûtait plus que l'entrée même.
const auto lecture = std::make_shared<FileLecture>(960, true);

const PointReseau etranger{"127.0.0.9", 40009};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  LecteurOctets lecteur(VueOctets(donnees, taille));
  lecture->remettreANeuf(960);
  Recepteur recepteur(reglagesAppaires(), lecture);
  recepteur.adopter(Liaison::nouvelle(cle(32), cle(0)), sourceAppairee);
  Scelleur emetteur(cle(0));

  InstantNs maintenant = 1'000'000'000;
  std::vector<Octets> vus;
  std::vector<float> gauche(2048), droite(2048);
  while (const auto sorte = lecteur.lire<std::uint8_t>()) {
    maintenant += lecteur.lire<std::uint8_t>().value_or(0) * InstantNs{200'000};
    const PointReseau& source = (*sorte & 0x80) != 0 ? etranger : sourceAppairee;
    Octets datagramme;
    switch (*sorte % 5) {
      case 0:
      case 1:
      case 2: {
        const auto n = lecteur.lire<std::uint16_t>().value_or(0);
        const auto octets = lecteur.prendre(std::min<std::size_t>(n, lecteur.reste()));
        datagramme.assign(octets->begin(), octets->end());
        if (*sorte % 5 == 0) break;
        const auto enveloppe = *sorte % 5 == 1 ? SorteEnveloppe::audio : SorteEnveloppe::horloge;
        if (auto s = emetteur.sceller(datagramme, enveloppe)) datagramme = std::move(*s);
        break;
      }
      case 3: {
        const auto rang = lecteur.lire<std::uint8_t>().value_or(0);
        if (!vus.empty()) datagramme = vus[rang % vus.size()];
        break;
      }
      default: {
        exiger(recepteur.cadencer(maintenant).size() <= 2);
        const std::int64_t n = 1 + lecteur.lire<std::uint16_t>().value_or(0) % 2048;
        (void)lecture->peutRendre(n);
        exiger(lecture->tirer(n, gauche, droite, maintenant).rendues <= n);
        continue;
      }
    }
    exiger(recepteur.recevoir(datagramme, source, maintenant).size() <= 3);
    if (vus.size() < 64) vus.push_back(std::move(datagramme));
    const auto etat = lecture->etat();
    exiger(etat.reserveTrames >= 0 &&
           etat.reserveTrames <= FileLecture::casiers * FileLecture::tramesMaxParCasier);
  }
  const auto c = recepteur.compteurs();
  exiger(c.appairages == 1 && c.paquetsRecus >= 0 && c.paquetsPerdus >= 0 &&
         c.paquetsReordonnes <= c.paquetsRecus && c.enveloppesRefusees >= 0);
  return 0;
}
