// SPDX-License-Identifier: MPL-2.0
// Le répondeur face à une suite quelconque de messages : ceux de vrais initiateurs (un
// nouveau de temps en temps), des messages hostiles et des abandons. Il ne plante jamais et
// tient ses invariants : une tentative exactement quand il est `EnCours`, des listes
// conformes à la phase et jamais plus de 14 entrées, `Reussi` et `Echoue` définitifs, un
// message répété qui ne tire rien et reçoit la même réponse.
#include <memory>

#include "faux/hasard_deterministe.hpp"
#include "outils_fuzz.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  FuzzedDataProvider fdp(donnees, taille);
  const std::uint16_t valeur = fdp.ConsumeIntegral<std::uint16_t>();
  auto hasard = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
  AppairageRepondeur repondeur(codeDe(valeur), hasard);
  auto nouvelInitiateur = [&](std::uint64_t graine) {
    const std::uint16_t v = fdp.ConsumeBool() ? valeur : fdp.ConsumeIntegral<std::uint16_t>();
    return std::make_unique<AppairageInitiateur>(codeDe(v), "Poste",
                                                 std::make_shared<HasardDeterministe>(graine));
  };
  std::uint64_t graine = 1000;
  auto initiateur = nouvelInitiateur(graine++);
  MessagesHostiles hostiles(fdp);

  while (fdp.remaining_bytes() > 0) {
    std::optional<MessagePasskey> m;
    switch (fdp.ConsumeIntegralInRange(0, 7)) {
      case 0: {
        const AppairageRepondeur::Etat avant = repondeur.etat();
        const bool enCours = std::holds_alternative<AppairageRepondeur::EnCours>(avant);
        const bool renouveler = repondeur.abandonnerTentative();
        exiger(enCours || (!renouveler && repondeur.etat() == avant));
        if (enCours) exiger(std::holds_alternative<AppairageRepondeur::Attente>(repondeur.etat()));
        exiger(repondeur.respecteSesInvariants());
        continue;
      }
      case 1:
        initiateur = nouvelInitiateur(graine++);
        continue;
      case 2:
      case 3:
        m = hostiles.suivant(initiateur->dernierMessage().tentative());
        break;
      default:
        m = initiateur->dernierMessage();
        break;
    }
    if (!m) continue;
    hostiles.retenir(*m);

    const AppairageRepondeur::Etat avant = repondeur.etat();
    const auto reponse = repondeur.recevoir(*m);
    exiger(repondeur.respecteSesInvariants());
    const bool final = std::holds_alternative<AppairageRepondeur::Reussi>(avant) ||
                       std::holds_alternative<AppairageRepondeur::Echoue>(avant);
    if (final) exiger(repondeur.etat() == avant);
    if (std::holds_alternative<AppairageRepondeur::Attente>(repondeur.etat())) {
      exiger(std::holds_alternative<AppairageRepondeur::Attente>(avant) && !reponse);
    }

    const std::uint64_t tires = hasard->octetsTires();
    const AppairageRepondeur::Etat apres = repondeur.etat();
    exiger(repondeur.recevoir(*m) == reponse);
    exiger(hasard->octetsTires() == tires && repondeur.etat() == apres);

    if (reponse) {
      hostiles.retenir(*reponse);
      (void)initiateur->recevoir(*reponse);
    }
  }
  return 0;
}
