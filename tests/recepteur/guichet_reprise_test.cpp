// SPDX-License-Identifier: MPL-2.0
// Les reprises au guichet, en temps simulé : la politique des codes les borne, un tiers ne
// les dérange pas (la poignée elle-même : tests/protocol/reprise/).
#include "recepteur/guichet_appairage.hpp"

#include <gtest/gtest.h>

#include "faux/hasard_deterministe.hpp"
#include "faux/memoire_expediteurs_factice.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"

namespace ravlo::essai_guichet_reprise {
namespace {

constexpr InstantNs sec = 1'000'000'000;
const PointReseau poste{"127.0.0.1", 40000};
const PointReseau intrus{"127.0.0.1", 40666};

SecretPaire paire(std::uint8_t graine) {
  SecretPaire p;
  p.identifiant.fill(graine);
  p.psk.octets().fill(static_cast<std::uint8_t>(graine + 1));
  return p;
}

struct BancReprise {
  BancReprise() { memoire->carnet.retenir(paire(1), "Portable", 0); }

  /// Mène la reprise de `i` depuis `de` jusqu'au bout ; rend la reprise du guichet.
  std::optional<GuichetReprise::Reprise> reprendre(RepriseInitiateur& i, const PointReseau& de) {
    std::optional<MessageReprise> m = i.dernierMessage();
    std::optional<GuichetReprise::Reprise> reprise;
    for (int pas = 0; m && pas < 4; ++pas) {
      auto issue = guichet.recevoir(*m, de, t);
      if (issue.reprise) reprise = issue.reprise;
      m.reset();
      for (const auto& r : issue.reponsesReprise)
        if (r.vers == de) m = i.recevoir(r.message);
    }
    return reprise;
  }

  std::shared_ptr<faux::MemoireExpediteursFactice> memoire =
      std::make_shared<faux::MemoireExpediteursFactice>();
  GuichetAppairage guichet{{std::nullopt, [] { return *CodeAppairage::depuisSaisie("1111"); },
                            std::make_shared<HasardDeterministe>(7), memoire}};
  InstantNs t = 50 * sec;
};

RepriseInitiateur initiateur(const SecretPaire& p, std::uint64_t graine) {
  return {p, std::make_shared<HasardDeterministe>(graine)};
}

// Seul un secret essayé et faux compte ; l'identifiant inconnu n'essaie rien. Chaque échec
// reçoit le même refus ; aucun ne touche au code, pas plus que la reprise réussie.
TEST(GuichetReprise, SeulUnSecretFauxCompte) {
  SecretPaire pskFausse = paire(1);
  pskFausse.psk.octets()[31] ^= 1;
  const struct {
    const char* nom;
    SecretPaire secret;
    bool reussit;
    int echecs;
  } cas[]{
      {"secret retenu", paire(1), true, 0},
      {"PSK fausse", pskFausse, false, 1},
      {"identifiant inconnu", paire(2), false, 0},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    BancReprise b;
    RepriseInitiateur i = initiateur(c.secret, 3);
    const auto reprise = b.reprendre(i, poste);
    ASSERT_EQ(reprise.has_value(), c.reussit);
    if (reprise) {
      EXPECT_EQ(reprise->nom, "Portable");
      EXPECT_EQ(reprise->source, poste);
      const auto& ordinateur = std::get<RepriseInitiateur::Reussi>(i.etat()).liaison;
      const Octets son(8, 0x5A);
      const auto scelle = ordinateur.scelleur->sceller(son, SorteEnveloppe::audio);
      ASSERT_TRUE(scelle);
      const auto ouvert = reprise->liaison.ouvreur->ouvrir(*scelle);
      ASSERT_TRUE(ouvert);
      EXPECT_EQ(ouvert->contenu, son);
    } else {
      EXPECT_EQ(std::get<RepriseInitiateur::Echoue>(i.etat()), RepriseInitiateur::Echoue{true});
    }
    EXPECT_EQ(b.guichet.reprisesEchouees(), c.echecs);
    EXPECT_EQ(b.guichet.echecsRetenus(b.t), c.echecs);
    EXPECT_EQ(b.guichet.code().chiffres(), "1111");
  }
}

// Quatre secrets faux ouvrent la pause des codes : la reprise suivante, même juste, est
// refusée d'office, sans recherche ; après la pause, elle passe.
TEST(GuichetReprise, LaPauseDesCodesVautPourLesReprises) {
  BancReprise b;
  SecretPaire faux = paire(1);
  faux.psk.octets()[0] ^= 1;
  for (int n = 0; n < 4; ++n) {
    RepriseInitiateur i = initiateur(faux, 10 + n);
    EXPECT_FALSE(b.reprendre(i, intrus));
  }
  ASSERT_GT(b.guichet.pauseRestanteNs(b.t), 0u);
  const int recherches = b.memoire->recherches;
  RepriseInitiateur vrai = initiateur(paire(1), 20);
  EXPECT_FALSE(b.reprendre(vrai, poste));
  EXPECT_EQ(b.memoire->recherches, recherches);
  b.t += b.guichet.pauseRestanteNs(b.t);
  RepriseInitiateur apres = initiateur(paire(1), 21);
  EXPECT_TRUE(b.reprendre(apres, poste));
}

// Pendant une tentative, un tiers envoie un refus et une preuve fausse au même numéro, puis
// sa propre ouverture : rien n'échoue ni ne compte, la tentative finit ; l'ouverture du
// tiers, gardée, est servie ensuite. Une tentative muette cède la place 1,5 s après qu'un
// autre attend.
TEST(GuichetReprise, UnTiersNeDerangePasUneTentative) {
  BancReprise b;
  RepriseInitiateur vrai = initiateur(paire(1), 30);
  auto issue = b.guichet.recevoir(vrai.dernierMessage(), poste, b.t);
  ASSERT_EQ(issue.reponsesReprise.size(), 1u);
  const auto preuve = vrai.recevoir(issue.reponsesReprise[0].message);
  ASSERT_TRUE(preuve);
  const std::uint64_t n = vrai.dernierMessage().tentative();
  RepriseInitiateur autre = initiateur(paire(1), 31);
  for (const auto& m : {MessageReprise(n, MessageReprise::Refus{}),
                        MessageReprise(n, MessageReprise::Preuve{}), autre.dernierMessage()}) {
    const auto i = b.guichet.recevoir(m, intrus, b.t);
    EXPECT_TRUE(i.reponsesReprise.empty());
    EXPECT_FALSE(i.reprise);
  }
  issue = b.guichet.recevoir(*preuve, poste, b.t);
  EXPECT_TRUE(issue.reprise);
  ASSERT_EQ(issue.reponsesReprise.size(), 1u) << "l'ouverture gardée, servie";
  EXPECT_EQ(issue.reponsesReprise[0].vers, intrus);
  EXPECT_EQ(b.guichet.reprisesEchouees(), 0);

  // Le tiers (qui ne répond plus) tient la tentative ; le vrai attend, puis passe.
  RepriseInitiateur encore = initiateur(paire(1), 32);
  EXPECT_TRUE(b.guichet.recevoir(encore.dernierMessage(), poste, b.t).reponsesReprise.empty());
  b.t += 1'400'000'000;
  EXPECT_TRUE(b.guichet.surveiller(b.t).reponsesReprise.empty());
  b.t += 200'000'000;
  const auto servie = b.guichet.surveiller(b.t);
  ASSERT_EQ(servie.reponsesReprise.size(), 1u);
  EXPECT_EQ(servie.reponsesReprise[0].vers, poste);
  EXPECT_EQ(b.guichet.reprisesEchouees(), 0);
}

}  // namespace
}  // namespace ravlo::essai_guichet_reprise
