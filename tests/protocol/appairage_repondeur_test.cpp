#include "protocol/appairage_repondeur.hpp"

#include <gtest/gtest.h>

#include "echange_appairage.hpp"
#include "faux/hasard_scripte.hpp"

namespace ravlo {
namespace {

using R = AppairageRepondeur;
const CodeAppairage code = *CodeAppairage::depuisSaisie("0042");

// Un répondeur et un vrai initiateur du même code, que l'essai fait avancer pas à pas.
struct Banc {
  std::shared_ptr<HasardScripte> hasard = std::make_shared<HasardScripte>(Octets{}, 2);
  R repondeur{code, hasard};
  AppairageInitiateur initiateur{code, "Mac", std::make_shared<HasardDeterministe>(1)};
  std::uint64_t t = initiateur.dernierMessage().tentative();

  /// Fait `n` allers-retours complets à partir du `debut`.
  void avancer(int n) {
    for (int i = 0; i < n; ++i) {
      const auto reponse = repondeur.recevoir(initiateur.dernierMessage());
      ASSERT_TRUE(reponse.has_value());
      (void)initiateur.recevoir(*reponse);
    }
  }
};

TEST(AppairageRepondeur, DebutRepeteMemeCleSansNouvelleClePrivee) {
  Banc b;
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Attente{}});
  const auto cle = b.repondeur.recevoir(b.initiateur.dernierMessage());
  ASSERT_TRUE(cle && cle->comme<MessagePasskey::Cle>());
  EXPECT_EQ(cle->tentative(), b.t);
  EXPECT_EQ(b.hasard->octetsTires(), 32u);
  EXPECT_EQ(b.repondeur.recevoir(b.initiateur.dernierMessage()), cle);
  EXPECT_EQ(b.hasard->octetsTires(), 32u);
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::EnCours{}});
}

TEST(AppairageRepondeur, EnAttenteSeulUnDebutCompte) {
  Banc b;
  for (const auto& m : {MessagePasskey::cle(b.t, Octets(32, 1)), MessagePasskey::refus(b.t),
                        MessagePasskey::engagement(b.t, 0, Octets(32))}) {
    EXPECT_EQ(b.repondeur.recevoir(m), std::nullopt);
  }
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Attente{}});
  EXPECT_EQ(b.hasard->octetsTires(), 0u);
}

TEST(AppairageRepondeur, UnAutreDebutPendantLaTentativeNAPasDeReponse) {
  Banc b;
  const MessagePasskey::Debut debut = *b.initiateur.dernierMessage().comme<MessagePasskey::Debut>();
  b.avancer(1);
  AppairageInitiateur autre(code, "Autre", std::make_shared<HasardDeterministe>(9));
  EXPECT_EQ(b.repondeur.recevoir(autre.dernierMessage()), std::nullopt);
  EXPECT_EQ(b.repondeur.recevoir(MessagePasskey::debut(b.t, debut.cle, "changé")), std::nullopt);
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::EnCours{}});
}

TEST(AppairageRepondeur, CleDeDebutRefuseeApresLeTirage) {
  for (const Octets& mauvaise : {Octets(32, 0), Octets(31, 1), Octets(33, 1)}) {
    Banc b;
    const auto debut = MessagePasskey::debut(b.t, mauvaise, "Mac");
    EXPECT_EQ(b.repondeur.recevoir(debut), MessagePasskey::refus(b.t));
    EXPECT_EQ(b.hasard->octetsTires(), 32u);
    EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Echoue{false}});
    EXPECT_EQ(b.repondeur.recevoir(debut), MessagePasskey::refus(b.t)) << "répété";
    EXPECT_EQ(b.repondeur.recevoir(b.initiateur.dernierMessage()), std::nullopt) << "fini";
  }
}

TEST(AppairageRepondeur, CleRenvoyeeRefusee) {
  // Le pair renvoie exactement notre future clé publique : les 32 octets que nous tirerons.
  const Octets prive(32, 0x11);
  auto hasard = std::make_shared<HasardScripte>(prive);
  R repondeur(code, hasard);
  const Octets notrePublique = ClePriveeX25519(prive).publique();
  EXPECT_EQ(repondeur.recevoir(MessagePasskey::debut(5, notrePublique, "")),
            MessagePasskey::refus(5));
  EXPECT_EQ(repondeur.etat(), R::Etat{R::Echoue{false}});
}

TEST(AppairageRepondeur, RefusSelonLaPhase) {
  for (auto [pas, renouveler] : {std::pair{1, false}, {2, true}, {3, true}, {29, true}}) {
    Banc b;
    b.avancer(pas);
    EXPECT_EQ(b.repondeur.recevoir(MessagePasskey::refus(b.t)), std::nullopt);
    EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Echoue{renouveler}}) << pas;
    EXPECT_TRUE(b.repondeur.respecteSesInvariants());
  }
}

TEST(AppairageRepondeur, AbandonnerTentative) {
  Banc b;
  EXPECT_FALSE(b.repondeur.abandonnerTentative()) << "en attente";
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Attente{}});
  b.avancer(1);
  EXPECT_FALSE(b.repondeur.abandonnerTentative()) << "attente du premier engagement";
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Attente{}});

  // Le même debut est de nouveau accepté, avec une nouvelle clé.
  Banc c;
  const auto premiereCle = c.repondeur.recevoir(c.initiateur.dernierMessage());
  ASSERT_TRUE(premiereCle.has_value());
  (void)c.initiateur.recevoir(*premiereCle);
  c.avancer(1);  // attente du dévoilement du rang 0
  EXPECT_TRUE(c.repondeur.abandonnerTentative());
  EXPECT_FALSE(c.repondeur.abandonnerTentative()) << "déjà abandonnée";
  AppairageInitiateur nouveau(code, "Mac", std::make_shared<HasardDeterministe>(3));
  const auto cle = c.repondeur.recevoir(nouveau.dernierMessage());
  ASSERT_TRUE(cle && cle->comme<MessagePasskey::Cle>());
  EXPECT_NE(cle->comme<MessagePasskey::Cle>()->cle, premiereCle->comme<MessagePasskey::Cle>()->cle);
  EXPECT_EQ(c.repondeur.etat(), R::Etat{R::EnCours{}});

  Banc fini;
  fini.avancer(1);
  (void)fini.repondeur.recevoir(MessagePasskey::refus(fini.t));
  EXPECT_FALSE(fini.repondeur.abandonnerTentative()) << "après la fin";
  EXPECT_EQ(fini.repondeur.etat(), R::Etat{R::Echoue{false}});
}

TEST(AppairageRepondeur, HorsSequenceIgnore) {
  Banc b;
  b.avancer(1);
  const std::uint64_t tires = b.hasard->octetsTires();
  for (const auto& m : {MessagePasskey::engagement(b.t, 1, Octets(32)),
                        MessagePasskey::devoilement(b.t, 0, Octets(16)),
                        MessagePasskey::confirmation(b.t, Octets(32)),
                        MessagePasskey::engagement(b.t + 1, 0, Octets(32))}) {
    EXPECT_EQ(b.repondeur.recevoir(m), std::nullopt);
  }
  EXPECT_EQ(b.hasard->octetsTires(), tires);
  EXPECT_TRUE(b.repondeur.respecteSesInvariants());
  b.avancer(28);
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::EnCours{}});
}

TEST(AppairageRepondeur, DevoilementOuConfirmationFaussesRefusees) {
  for (const auto& faux : {Octets(16, 1), Octets(15, 1)}) {
    Banc b;
    b.avancer(2);  // a reçu l'engagement du rang 0
    const auto m = MessagePasskey::devoilement(b.t, 0, faux);
    EXPECT_EQ(b.repondeur.recevoir(m), MessagePasskey::refus(b.t));
    EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Echoue{true}});
    EXPECT_EQ(b.repondeur.recevoir(m), MessagePasskey::refus(b.t)) << "répété";
  }
  Banc b;
  b.avancer(29);
  EXPECT_EQ(b.repondeur.recevoir(MessagePasskey::confirmation(b.t, Octets(32, 1))),
            MessagePasskey::refus(b.t));
  EXPECT_EQ(b.repondeur.etat(), R::Etat{R::Echoue{true}});
}

}  // namespace
}  // namespace ravlo
