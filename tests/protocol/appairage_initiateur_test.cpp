#include "protocol/appairage_initiateur.hpp"

#include <sodium.h>

#include <gtest/gtest.h>

#include "echange_appairage.hpp"
#include "faux/hasard_scripte.hpp"

namespace ravlo {
namespace {

using I = AppairageInitiateur;
const CodeAppairage code = *CodeAppairage::depuisSaisie("2024");

// Un initiateur et un vrai répondeur du même code, que l'essai fait avancer pas à pas.
struct Banc {
  std::shared_ptr<HasardScripte> hasard = std::make_shared<HasardScripte>(Octets{}, 1);
  I initiateur{code, "Poste de Léa", hasard};
  AppairageRepondeur repondeur{code, std::make_shared<HasardDeterministe>(2)};
  std::uint64_t t = initiateur.dernierMessage().tentative();

  /// La réponse du répondeur au dernier message de l'initiateur.
  MessagePasskey reponse() { return *repondeur.recevoir(initiateur.dernierMessage()); }
  /// Fait `n` allers-retours complets.
  void avancer(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(initiateur.recevoir(reponse()).has_value());
  }
};

TEST(AppairageInitiateur, TentativeLueGrandBoutisteEtPorteePetitBoutiste) {
  const Octets prive(32, 0x77);
  Octets tirages{1, 2, 3, 4, 5, 6, 7, 8};
  tirages.insert(tirages.end(), prive.begin(), prive.end());
  I initiateur(code, "Mac", std::make_shared<HasardScripte>(tirages));
  EXPECT_EQ(initiateur.dernierMessage().tentative(), 0x0102030405060708u);
  const Octets d = initiateur.dernierMessage().donnees();
  EXPECT_EQ(Octets(d.begin() + 4, d.begin() + 12), (Octets{8, 7, 6, 5, 4, 3, 2, 1}));
  // Puis les 32 octets suivants sont la clé privée.
  Octets publique(32);
  crypto_scalarmult_curve25519_base(publique.data(), prive.data());
  EXPECT_EQ(initiateur.dernierMessage(),
            MessagePasskey::debut(0x0102030405060708, publique, "Mac"));
  EXPECT_EQ(initiateur.etat(), I::Etat{I::EnCours{}});
  EXPECT_FALSE(initiateur.codeGrille());
}

TEST(AppairageInitiateur, NomNettoyeAvantDePartir) {
  I initiateur(code, std::string(200, 'm') + "\t", std::make_shared<HasardDeterministe>(1));
  EXPECT_EQ(initiateur.dernierMessage().comme<MessagePasskey::Debut>()->nomOrdinateur,
            std::string(128, 'm'));
}

TEST(AppairageInitiateur, UneMemeCleRecoitLeMemeEngagementSansNouveauTirage) {
  Banc b;
  const MessagePasskey cle = b.reponse();
  const auto premier = b.initiateur.recevoir(cle);
  ASSERT_TRUE(premier && premier->comme<MessagePasskey::Engagement>());
  EXPECT_EQ(b.hasard->octetsTires(), 8u + 32u + 16u);
  EXPECT_EQ(b.initiateur.recevoir(cle), premier);
  EXPECT_EQ(b.hasard->octetsTires(), 8u + 32u + 16u);
  EXPECT_EQ(b.initiateur.dernierMessage(), *premier);
}

TEST(AppairageInitiateur, HorsSequenceIgnoreSansRienChanger) {
  Banc b;
  b.avancer(5);  // cle, puis deux rangs : en attente de l'engagement du rang 2
  const MessagePasskey attendu = b.initiateur.dernierMessage();
  const std::uint64_t tires = b.hasard->octetsTires();
  for (const auto& m :
       {MessagePasskey::engagement(b.t, 3, Octets(32)),
        MessagePasskey::engagement(b.t, 1, Octets(32)),
        MessagePasskey::devoilement(b.t, 2, Octets(16)),
        MessagePasskey::confirmation(b.t, Octets(32)), MessagePasskey::cle(b.t, Octets(32, 9)),
        MessagePasskey::debut(b.t, Octets(32, 9), "x")}) {
    EXPECT_EQ(b.initiateur.recevoir(m), std::nullopt);
  }
  EXPECT_EQ(b.initiateur.dernierMessage(), attendu);
  EXPECT_EQ(b.hasard->octetsTires(), tires);
  EXPECT_TRUE(b.initiateur.respecteSesInvariants());
  b.avancer(1);  // l'échange reprend normalement
  EXPECT_EQ(b.initiateur.dernierMessage().comme<MessagePasskey::Devoilement>()->rang, 2);
}

TEST(AppairageInitiateur, DeroulementCompletPuisRepetitionDeLaConfirmation) {
  Banc b;
  std::vector<std::size_t> cas;
  std::vector<int> rangs;
  MessagePasskey reponse = b.reponse();
  for (;;) {
    const auto suivant = b.initiateur.recevoir(reponse);
    EXPECT_TRUE(b.initiateur.respecteSesInvariants());
    if (!suivant) break;
    cas.push_back(suivant->contenu().index());
    if (const auto* e = suivant->comme<MessagePasskey::Engagement>()) rangs.push_back(e->rang);
    if (const auto* d = suivant->comme<MessagePasskey::Devoilement>()) rangs.push_back(d->rang);
    reponse = *b.repondeur.recevoir(*suivant);
  }
  ASSERT_EQ(cas.size(), 29u);
  for (std::size_t i = 0; i < 28; ++i) {
    EXPECT_EQ(cas[i], i % 2 == 0 ? 2u : 3u) << i;  // engagement puis dévoilement
    EXPECT_EQ(rangs[i], static_cast<int>(i / 2));
  }
  EXPECT_EQ(cas[28], 4u);
  ASSERT_TRUE(std::holds_alternative<I::Reussi>(b.initiateur.etat()));
  EXPECT_TRUE(b.initiateur.codeGrille());
  const MessagePasskey maConfirmation = b.initiateur.dernierMessage();
  EXPECT_EQ(b.initiateur.recevoir(reponse), maConfirmation) << "répétition de la fin";
  EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::refus(b.t)), std::nullopt);
  EXPECT_TRUE(std::holds_alternative<I::Reussi>(b.initiateur.etat())) << "l'état ne bouge plus";
}

TEST(AppairageInitiateur, RefusSelonLaPhase) {
  // (allers-retours faits avant le refus, code entamé attendu)
  for (auto [pas, grille] : {std::pair{0, false}, {1, false}, {2, true}, {3, true}, {29, true}}) {
    Banc b;
    b.avancer(pas);
    EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::refus(b.t)), std::nullopt);
    EXPECT_EQ(b.initiateur.etat(), I::Etat{I::Echoue{grille}}) << pas;
    EXPECT_EQ(b.initiateur.codeGrille(), grille);
    EXPECT_TRUE(b.initiateur.respecteSesInvariants());
  }
}

TEST(AppairageInitiateur, CleDuPairRefusee) {
  const Octets nulle(32, 0);
  for (int cas = 0; cas < 3; ++cas) {
    Banc b;
    const Octets cleA = b.initiateur.dernierMessage().comme<MessagePasskey::Debut>()->cle;
    const Octets mauvaise = cas == 0 ? Octets(31, 5) : cas == 1 ? cleA : nulle;
    const auto m = MessagePasskey::cle(b.t, mauvaise);
    EXPECT_EQ(b.initiateur.recevoir(m), MessagePasskey::refus(b.t)) << cas;
    EXPECT_EQ(b.initiateur.etat(), I::Etat{I::Echoue{false}});
    EXPECT_EQ(b.initiateur.dernierMessage(), MessagePasskey::refus(b.t));
    EXPECT_EQ(b.initiateur.recevoir(m), MessagePasskey::refus(b.t)) << "répétée : même refus";
  }
}

TEST(AppairageInitiateur, DevoilementOuConfirmationFaussesRefusees) {
  {
    Banc b;
    b.avancer(2);  // a dévoilé son nonce du rang 0
    EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::devoilement(b.t, 0, Octets(16, 1))),
              MessagePasskey::refus(b.t));
    EXPECT_EQ(b.initiateur.etat(), I::Etat{I::Echoue{true}});
  }
  {
    Banc b;
    b.avancer(2);
    EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::devoilement(b.t, 0, Octets(15, 1))),
              MessagePasskey::refus(b.t))
        << "nonce de 15 octets";
  }
  {
    Banc b;
    b.avancer(29);
    EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::confirmation(b.t, Octets(32, 1))),
              MessagePasskey::refus(b.t));
    EXPECT_EQ(b.initiateur.etat(), I::Etat{I::Echoue{true}});
  }
}

TEST(AppairageInitiateur, AutreTentativeIgnoreeAChaquePhase) {
  Banc b;
  for (int pas = 0; pas <= 30; ++pas) {
    const MessagePasskey vraie = b.reponse();
    const MessagePasskey avant = b.initiateur.dernierMessage();
    MessagePasskey autre(b.t + 1, vraie.contenu());
    EXPECT_EQ(b.initiateur.recevoir(autre), std::nullopt) << pas;
    EXPECT_EQ(b.initiateur.recevoir(MessagePasskey::refus(b.t - 1)), std::nullopt);
    EXPECT_EQ(b.initiateur.dernierMessage(), avant);
    EXPECT_EQ(b.initiateur.etat(), I::Etat{I::EnCours{}});
    const bool fin = !b.initiateur.recevoir(vraie).has_value();
    ASSERT_EQ(fin, pas == 29);
    if (fin) break;
  }
  EXPECT_TRUE(std::holds_alternative<I::Reussi>(b.initiateur.etat()));
}

}  // namespace
}  // namespace ravlo
