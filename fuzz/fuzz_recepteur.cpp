// SPDX-License-Identifier: MPL-2.0
// Le point d'entrée des datagrammes du récepteur, une fois appairé (clé fixe : l'appairage
// est rejoué avec des tirages déterministes à chaque entrée). Le fuzzer choisit des octets
// quelconques, des contenus qu'il fait sceller en audio ou en horloge sous la vraie clé, des
// rejeux et des tics. Vérifie : jamais plus de trois datagrammes rendus à la fois, une file
// qui reste dans sa capacité, des compteurs cohérents, et le rendu qui tire toujours.
// Rendus et arrivées s'entremêlent : désordre, pertes, retards, sauts et rattrapages.
#include <vector>

#include "bench/recepteur_appaire.hpp"
#include "outils_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  FuzzedDataProvider fournisseur(donnees, taille);
  auto lecture = std::make_shared<FileLecture>(960, true);
  Recepteur recepteur(reglagesAppaires(), lecture);
  const Liaison emetteur = appairer(recepteur);

  InstantNs maintenant = 1'000'000'000;
  std::vector<Octets> vus;
  std::vector<float> gauche(2048), droite(2048);
  while (fournisseur.remaining_bytes() > 0) {
    maintenant += fournisseur.ConsumeIntegralInRange<InstantNs>(0, 50'000'000);
    Octets datagramme;
    switch (fournisseur.ConsumeIntegralInRange(0, 4)) {
      case 0:
        datagramme =
            fournisseur.ConsumeBytes<std::uint8_t>(fournisseur.ConsumeIntegral<std::uint16_t>());
        break;
      case 1:
      case 2: {
        const auto contenu =
            fournisseur.ConsumeBytes<std::uint8_t>(fournisseur.ConsumeIntegralInRange(0, 1400));
        const auto sorte =
            fournisseur.ConsumeBool() ? SorteEnveloppe::audio : SorteEnveloppe::horloge;
        if (auto s = emetteur.scelleur->sceller(contenu, sorte)) datagramme = std::move(*s);
        break;
      }
      case 3:
        if (!vus.empty())
          datagramme = vus[fournisseur.ConsumeIntegralInRange<std::size_t>(0, vus.size() - 1)];
        break;
      default: {
        exiger(recepteur.cadencer(maintenant).size() <= 2);
        const auto n = fournisseur.ConsumeIntegralInRange<std::int64_t>(1, 2048);
        (void)lecture->peutRendre(n);
        exiger(lecture->tirer(n, gauche, droite, maintenant).rendues <= n);
        continue;
      }
    }
    exiger(recepteur.recevoir(datagramme, sourceAppairee, maintenant).size() <= 3);
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
