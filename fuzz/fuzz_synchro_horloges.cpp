// SPDX-License-Identifier: MPL-2.0
// Suites quelconques de réponses (et de questions) et d'heures d'arrivée : jamais plus de 8
// échanges, aucun débordement signé (UBSan), et chaque réponse gardée fait le dernier échange.
#include <cstdlib>

#include "protocol/base/lecteur_octets.hpp"
#include "protocol/lecture/synchro_horloges.hpp"

namespace {

using namespace ravlo;

// Tantôt une heure brute, tantôt une heure proche d'une base : sans cela presque toutes les
// réponses seraient refusées et l'historique resterait vide.
std::uint64_t heure(LecteurOctets& lecteur, std::uint64_t base) {
  const std::uint8_t mode = lecteur.lire<std::uint8_t>().value_or(0);
  if (mode & 1) return lecteur.lire<std::uint64_t>().value_or(0);
  const std::uint32_t ecart = lecteur.lire<std::uint32_t>().value_or(0);
  return (mode & 2) ? base + ecart : base - ecart;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  LecteurOctets lecteur(VueOctets(donnees, taille));
  SynchroHorloges synchro;
  std::int64_t acceptes = 0;
  std::int64_t refuses = 0;
  std::uint64_t base = lecteur.lire<std::uint64_t>().value_or(0);
  while (lecteur.reste() > 0) {
    const std::uint8_t sorte = lecteur.lire<std::uint8_t>().value_or(1);
    const InstantNs t1 = heure(lecteur, base);
    const InstantNs t2 = heure(lecteur, t1 + lecteur.lire<std::uint64_t>().value_or(0));
    const InstantNs t3 = heure(lecteur, t2);
    const InstantNs t4 = heure(lecteur, t1);
    MessageHorloge m = MessageHorloge::question(t1).reponse(t2, t3);
    if (sorte == 0) m.sorte = MessageHorloge::Sorte::question;
    const bool gardee = synchro.enregistrer(m, t4);
    (gardee ? acceptes : refuses) += 1;
    if (gardee && synchro.echanges().back().reception != t4) std::abort();
    if (synchro.echanges().size() > SynchroHorloges::echangesGardes) std::abort();
    if (synchro.rejets() != refuses) std::abort();
    if (synchro.redemarragesDistants() > acceptes) std::abort();
    base = t4;
  }
  return 0;
}
