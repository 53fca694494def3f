#include "link/discovery/dialogue_appairage.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/appairage_repondeur.hpp"
#include "protocol/hasard_deterministe.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

struct Dialogue : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> fabrique = std::make_shared<faux::FabriqueFactice>();
  const CodeAppairage code = *CodeAppairage::depuisSaisie("0042");
  std::shared_ptr<AppairageInitiateur> initiateur = std::make_shared<AppairageInitiateur>(
      code, "Poste de test", std::make_shared<HasardDeterministe>(1));
  std::optional<std::expected<void, EchecDialogue>> issue;
  InstantNs finNs = 0;

  void lancer() {
    lancerDialogue(initiateur, PointReseau{"127.0.0.1", 50'000},
                   PlateformeDialogue{file, fabrique, &horloge}, *file, [this](auto r) {
                     issue = r;
                     finNs = horloge.continueNs();
                   });
    file->executer();
  }
  faux::ConnexionFactice& connexion() { return fabrique->derniere(); }
};

// Le récepteur répond à chaque message, sans délai, jusqu'au verdict ; `fausseConfirmation`
// remplace sa confirmation par une valeur fausse.
void jouerRecepteur(Dialogue& d, AppairageRepondeur& repondeur, bool fausseConfirmation = false) {
  std::size_t lus = 0;
  while (!d.issue && lus < d.connexion().envoyes.size()) {
    const auto m = MessagePasskey::decoder(d.connexion().envoyes[lus++]);
    EXPECT_TRUE(m.has_value());
    auto r = repondeur.recevoir(*m);
    if (r && fausseConfirmation && r->comme<MessagePasskey::Confirmation>() != nullptr) {
      r = MessagePasskey::confirmation(r->tentative(), Octets(32, 0));
    }
    if (r) d.connexion().livrer(r->donnees());
    d.file->executer();
  }
}

// Le récepteur honnête : 30 messages, aucun renvoi. Une confirmation fausse : le refus de
// l'initiateur part, et son envoi est traité, avant que la connexion soit annulée ; un refus
// n'est pas une erreur du dialogue.
TEST_F(Dialogue, IssueApresLeDernierMessageTraite) {
  for (const bool fausse : {false, true}) {
    SCOPED_TRACE(fausse);
    issue.reset();
    initiateur = std::make_shared<AppairageInitiateur>(code, "Poste de test",
                                                       std::make_shared<HasardDeterministe>(1));
    AppairageRepondeur repondeur(code, std::make_shared<HasardDeterministe>(2));
    lancer();
    jouerRecepteur(*this, repondeur, fausse);
    EXPECT_EQ(std::holds_alternative<AppairageInitiateur::Reussi>(initiateur->etat()), !fausse);
    if (fausse) {
      const auto dernier = MessagePasskey::decoder(connexion().envoyes.back());
      ASSERT_TRUE(dernier.has_value());
      EXPECT_NE(dernier->comme<MessagePasskey::Refus>(), nullptr);
      EXPECT_FALSE(connexion().annulee || issue.has_value()) << "refus pas encore traité";
      connexion().traiterEnvois();
      file->executer();
    } else {
      EXPECT_EQ(connexion().envoyes.size(), 30u);
    }
    EXPECT_TRUE(connexion().annulee);
    ASSERT_TRUE(issue.has_value());
    EXPECT_TRUE(issue->has_value());
  }
}

TEST_F(Dialogue, RecepteurMuetRenvoisToutesLes700msPuisPasDeReponse) {
  const InstantNs debut = horloge.continueNs();
  lancer();
  file->avancer(699ms);
  EXPECT_EQ(connexion().envoyes.size(), 1u);
  file->avancer(1ms);
  ASSERT_EQ(connexion().envoyes.size(), 2u);
  EXPECT_EQ(connexion().envoyes[1], connexion().envoyes[0]) << "le même message repart";
  file->avancer(9s);
  ASSERT_TRUE(issue.has_value());
  EXPECT_EQ(issue->error(), EchecDialogue(ErreurAppairage::pasDeReponse));
  // Budget de 8 s : la première attente commencée après n'a pas lieu, échec à 12 × 700 ms.
  EXPECT_EQ(finNs - debut, 8'400'000'000u);
  EXPECT_TRUE(connexion().annulee);
}

// Un datagramme illisible est ignoré ; une réponse en JSON (ancien récepteur) ou une erreur
// de réception termine aussitôt.
TEST_F(Dialogue, ReponsesQuiTerminentOuSontIgnorees) {
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  for (const auto& [livrer, attendue] :
       std::vector<std::pair<std::function<bool(faux::ConnexionFactice&)>, EchecDialogue>>{
           {[](auto& c) { return c.livrer(Octets{'{', '"', 'v', '"'}); },
            EchecDialogue(ErreurAppairage::iPhoneAncien)},
           {[&](auto& c) { return c.livrerErreur(refus); }, EchecDialogue(refus)}}) {
    issue.reset();
    lancer();
    ASSERT_TRUE(connexion().livrer(Octets{'R', 'P', 9}));
    file->executer();
    EXPECT_FALSE(issue.has_value());
    ASSERT_TRUE(livrer(connexion()));
    file->executer();
    ASSERT_TRUE(issue.has_value());
    EXPECT_EQ(issue->error(), attendue);
    EXPECT_TRUE(connexion().annulee);
  }
}

}  // namespace
}  // namespace ravlo
