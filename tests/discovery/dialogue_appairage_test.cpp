#include "link/discovery/dialogue_appairage.hpp"

#include <gtest/gtest.h>

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
  const CodeAppairage code{"0042"};
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

TEST_F(Dialogue, AppairageCompletEtDernierMessageAttenduAvantAnnulation) {
  AppairageRepondeur repondeur(code, std::make_shared<HasardDeterministe>(2));
  lancer();
  std::size_t lus = 0;
  // Le récepteur répond à chaque message, sans délai, jusqu'au verdict.
  while (!issue && lus < connexion().envoyes.size()) {
    const auto m = MessagePasskey::decoder(connexion().envoyes[lus++]);
    ASSERT_TRUE(m.has_value());
    if (const auto r = repondeur.recevoir(*m)) ASSERT_TRUE(connexion().livrer(r->donnees()));
    file->executer();
  }
  ASSERT_TRUE(std::holds_alternative<AppairageInitiateur::Reussi>(initiateur->etat()));
  EXPECT_EQ(connexion().envoyes.size(), 30u) << "30 messages de l'initiateur, aucun renvoi";
  EXPECT_FALSE(connexion().annulee) << "le dernier envoi n'est pas encore traité";
  EXPECT_FALSE(issue.has_value());
  connexion().traiterEnvois();
  file->executer();
  EXPECT_TRUE(connexion().annulee);
  ASSERT_TRUE(issue.has_value());
  EXPECT_TRUE(issue->has_value());
}

TEST_F(Dialogue, RecepteurMuetRenvoisToutesLes700msPuisPasDeReponse) {
  const InstantNs debut = horloge.continueNs();
  lancer();
  EXPECT_EQ(connexion().envoyes.size(), 1u);
  file->avancer(699ms);
  EXPECT_EQ(connexion().envoyes.size(), 1u);
  file->avancer(1ms);
  ASSERT_EQ(connexion().envoyes.size(), 2u);
  EXPECT_EQ(connexion().envoyes[1], connexion().envoyes[0]) << "le même message repart";
  file->avancer(7s);
  EXPECT_FALSE(issue.has_value()) << "le budget de 8 s n'est pas épuisé";
  file->avancer(2s);
  ASSERT_TRUE(issue.has_value());
  EXPECT_EQ(issue->error(), EchecDialogue(ErreurAppairage::pasDeReponse));
  // La première attente commencée après 8 s n'a pas lieu : échec à 12 × 700 ms = 8,4 s.
  EXPECT_EQ(finNs - debut, 8'400'000'000u);
  EXPECT_TRUE(connexion().annulee);
}

TEST_F(Dialogue, ReponseEnJSONAncienRecepteurEtIllisiblesIgnores) {
  lancer();
  ASSERT_TRUE(connexion().livrer(Octets{'R', 'P', 9}));  // illisible : ignoré
  file->executer();
  EXPECT_FALSE(issue.has_value());
  ASSERT_TRUE(connexion().livrer(Octets{'{', '"', 'v', '"'}));
  file->executer();
  ASSERT_TRUE(issue.has_value());
  EXPECT_EQ(issue->error(), EchecDialogue(ErreurAppairage::iPhoneAncien));
  EXPECT_TRUE(connexion().annulee);
}

TEST_F(Dialogue, ErreurDeReceptionTermineAussitot) {
  lancer();
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  ASSERT_TRUE(connexion().livrerErreur(refus));
  file->executer();
  ASSERT_TRUE(issue.has_value());
  EXPECT_EQ(issue->error(), EchecDialogue(refus));
}

}  // namespace
}  // namespace ravlo
