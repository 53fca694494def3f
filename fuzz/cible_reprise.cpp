// SPDX-License-Identifier: MPL-2.0
// La reprise d'un appairage mémorisé. Premier octet pair : octets quelconques pour le
// décodeur, dont tout message accepté se réencode en exactement les octets lus. Impair : un
// répondeur face à de vrais initiateurs (un nouveau de temps en temps), sous la même PSK ou
// une autre, et à des messages hostiles (décodés d'octets quelconques, rejoués, altérés),
// dans les deux sens. Rien ne plante ; `Reussi` et `Echoue` sont définitifs ; un message
// répété reçoit la même réponse sans rien tirer ; un côté n'est `Reussi` que sous la même
// PSK, et le récepteur seulement face à un initiateur réussi dont la liaison est la sienne.
#include <memory>
#include <vector>

#include "faux/hasard_deterministe.hpp"
#include "outils_fuzz.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace ravlo {
namespace {

using M = MessageReprise;

void decoder(VueOctets donnees) {
  const auto message = M::decoder(donnees);
  if (!message) return;
  const Octets encode = message->donnees();
  exiger(encode == Octets(donnees.begin(), donnees.end()));
  exiger(M::decoder(encode) == message);
}

bool lies(const Liaison& a, const Liaison& b) {
  const auto scelle = a.scelleur->sceller(Octets{1}, SorteEnveloppe::horloge);
  const auto ouvert = scelle ? b.ouvreur->ouvrir(*scelle) : std::nullopt;
  return ouvert && ouvert->contenu == Octets{1};
}

bool fini(const RepriseRepondeur::Etat& e) {
  return std::holds_alternative<RepriseRepondeur::Reussi>(e) ||
         std::holds_alternative<RepriseRepondeur::Echoue>(e);
}

void automates(FuzzedDataProvider& fdp) {
  SecretPaire paire;
  paire.identifiant.fill(7);
  paire.psk.octets().fill(1);
  SecretPaire retenue = paire;
  const bool memeSecret = fdp.ConsumeBool();
  if (!memeSecret) retenue.psk.octets()[31] ^= 1;
  auto hasard = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
  const auto nouveauRepondeur = [&] {
    return std::make_unique<RepriseRepondeur>(
        [&](const IdentifiantPaire& id) {
          return id == retenue.identifiant ? std::optional(retenue) : std::nullopt;
        },
        hasard);
  };
  auto repondeur = nouveauRepondeur();
  std::uint64_t graine = 1000;
  std::vector<std::unique_ptr<RepriseInitiateur>> initiateurs;
  initiateurs.push_back(
      std::make_unique<RepriseInitiateur>(paire, std::make_shared<HasardDeterministe>(graine++)));
  std::vector<M> historique;

  while (fdp.remaining_bytes() > 0) {
    std::optional<M> m;
    bool versInitiateur = false;
    switch (fdp.ConsumeIntegralInRange(0, 6)) {
      case 0:
        repondeur = nouveauRepondeur();  // le guichet jette une tentative muette
        continue;
      case 1:
        if (initiateurs.size() < 8)
          initiateurs.push_back(std::make_unique<RepriseInitiateur>(
              paire, std::make_shared<HasardDeterministe>(graine++)));
        continue;
      case 2: {
        const std::string brut = fdp.ConsumeRandomLengthString(100);
        const auto lu =
            M::decoder(VueOctets(reinterpret_cast<const std::uint8_t*>(brut.data()), brut.size()));
        if (lu) m = *lu;
        versInitiateur = fdp.ConsumeBool();
        break;
      }
      case 3:
      case 4: {
        if (historique.empty()) continue;
        Octets d =
            historique[fdp.ConsumeIntegralInRange<std::size_t>(0, historique.size() - 1)].donnees();
        if (fdp.ConsumeBool())
          d[fdp.ConsumeIntegralInRange<std::size_t>(0, d.size() - 1)] ^=
              fdp.ConsumeIntegralInRange<std::uint8_t>(1, 255);
        if (const auto lu = M::decoder(d)) m = *lu;
        versInitiateur = fdp.ConsumeBool();
        break;
      }
      default:
        m = initiateurs.back()->dernierMessage();
        break;
    }
    if (!m) continue;
    if (historique.size() < 64) historique.push_back(*m);

    if (versInitiateur) {
      auto& i = *initiateurs[fdp.ConsumeIntegralInRange<std::size_t>(0, initiateurs.size() - 1)];
      const RepriseInitiateur::Etat avant = i.etat();
      const auto reponse = i.recevoir(*m);
      exiger(std::holds_alternative<RepriseInitiateur::EnCours>(avant) || i.etat() == avant);
      exiger(i.recevoir(*m) == reponse);
      exiger(memeSecret || !std::holds_alternative<RepriseInitiateur::Reussi>(i.etat()));
      continue;
    }

    const RepriseRepondeur::Etat avant = repondeur->etat();
    const auto reponse = repondeur->recevoir(*m);
    if (fini(avant)) exiger(repondeur->etat() == avant);
    const std::uint64_t tires = hasard->octetsTires();
    const RepriseRepondeur::Etat apres = repondeur->etat();
    exiger(repondeur->recevoir(*m) == reponse);
    exiger(hasard->octetsTires() == tires && repondeur->etat() == apres);

    if (const auto* r = std::get_if<RepriseRepondeur::Reussi>(&apres); r && !fini(avant)) {
      exiger(memeSecret);
      bool trouve = false;
      for (const auto& i : initiateurs) {
        const auto* ri = std::get_if<RepriseInitiateur::Reussi>(&i->etat());
        trouve = trouve || (ri && lies(ri->liaison, r->liaison) && lies(r->liaison, ri->liaison));
      }
      exiger(trouve);
    }
    if (reponse) {
      if (historique.size() < 64) historique.push_back(*reponse);
      (void)initiateurs.back()->recevoir(*reponse);
    }
  }
}

}  // namespace
}  // namespace ravlo

namespace ravlo::cibles {

void reprise(VueOctets e) {
  if (e.empty()) return;
  if (e[0] % 2 == 0) {
    decoder(e.subspan(1));
    return;
  }
  FuzzedDataProvider fdp(e.data() + 1, e.size() - 1);
  automates(fdp);
}

}  // namespace ravlo::cibles
