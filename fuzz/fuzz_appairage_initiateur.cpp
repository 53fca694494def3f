// SPDX-License-Identifier: MPL-2.0
// L'initiateur face à une suite quelconque de messages : réponses d'un vrai répondeur
// mêlées de messages hostiles. Il ne plante jamais et tient ses invariants : listes
// conformes à la phase et jamais plus de 14 entrées, un état qui ne quitte `EnCours`
// qu'une fois, un code entamé qui le reste, un message répété qui ne tire rien et reçoit la
// même réponse, et une réussite qui suppose un répondeur réussi sous les mêmes clés.
#include <memory>

#include "faux/hasard_deterministe.hpp"
#include "outils_fuzz.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  FuzzedDataProvider fdp(donnees, taille);
  const std::uint16_t valeur = fdp.ConsumeIntegral<std::uint16_t>();
  // Le plus souvent le même code, pour que l'échange honnête aille loin.
  const std::uint16_t valeurPair =
      fdp.ConsumeBool() ? valeur : fdp.ConsumeIntegral<std::uint16_t>();
  auto hasard = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
  AppairageInitiateur initiateur(codeDe(valeur), fdp.ConsumeRandomLengthString(300), hasard);
  AppairageRepondeur repondeur(codeDe(valeurPair), std::make_shared<HasardDeterministe>(99));
  MessagesHostiles hostiles(fdp);
  const std::uint64_t t = initiateur.dernierMessage().tentative();
  exiger(initiateur.dernierMessage().donnees().size() <= 173);

  while (fdp.remaining_bytes() > 0) {
    std::optional<MessagePasskey> m;
    if (fdp.ConsumeBool()) {
      hostiles.retenir(initiateur.dernierMessage());
      m = repondeur.recevoir(initiateur.dernierMessage());
    } else {
      m = hostiles.suivant(t);
    }
    if (!m) continue;
    hostiles.retenir(*m);

    const AppairageInitiateur::Etat avant = initiateur.etat();
    const bool grilleAvant = initiateur.codeGrille();
    const auto reponse = initiateur.recevoir(*m);
    exiger(initiateur.respecteSesInvariants());
    exiger(!grilleAvant || initiateur.codeGrille());
    if (!std::holds_alternative<AppairageInitiateur::EnCours>(avant))
      exiger(initiateur.etat() == avant);
    if (reponse) exiger(*reponse == initiateur.dernierMessage());
    if (const auto* ri = std::get_if<AppairageInitiateur::Reussi>(&initiateur.etat())) {
      const auto* rr = std::get_if<AppairageRepondeur::Reussi>(&repondeur.etat());
      const auto scelle = ri->liaison.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
      exiger(rr && scelle && rr->liaison.ouvreur->ouvrir(*scelle).has_value());
    }

    // Le même message une seconde fois : rien de tiré, rien de changé, même réponse, sauf la
    // confirmation finale du pair, qui reçoit alors la nôtre.
    const std::uint64_t tires = hasard->octetsTires();
    const AppairageInitiateur::Etat apres = initiateur.etat();
    const auto seconde = initiateur.recevoir(*m);
    exiger(hasard->octetsTires() == tires && initiateur.etat() == apres);
    const bool finale = !reponse && std::holds_alternative<AppairageInitiateur::Reussi>(apres) &&
                        std::holds_alternative<AppairageInitiateur::EnCours>(avant);
    exiger(seconde == (finale ? std::optional(initiateur.dernierMessage()) : reponse));
  }
  return 0;
}
