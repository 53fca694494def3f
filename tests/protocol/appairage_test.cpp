// Initiateur et répondeur l'un contre l'autre, chaque message passant par le fil.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "echange_appairage.hpp"
#include "faux/hasard_scripte.hpp"
#include "protocol/appairage_initiateur.hpp"
#include "protocol/appairage_repondeur.hpp"

namespace ravlo {
namespace {

using I = AppairageInitiateur;
using R = AppairageRepondeur;

CodeAppairage codeDe(int valeur) {
  char texte[8];
  std::snprintf(texte, sizeof texte, "%04d", valeur);
  return *CodeAppairage::depuisSaisie(texte);
}

TEST(Appairage, MemeCodeReussitEn60MessagesAvecDesClesCroisees) {
  I initiateur(codeDe(2024), "Poste\tde Léa\u200d", std::make_shared<HasardDeterministe>(1));
  R repondeur(codeDe(2024), std::make_shared<HasardDeterministe>(2));
  EXPECT_EQ(jouerEchange(initiateur, repondeur).size(), 60u);
  ASSERT_TRUE(std::holds_alternative<I::Reussi>(initiateur.etat()));
  ASSERT_TRUE(std::holds_alternative<R::Reussi>(repondeur.etat()));
  const Liaison mac = std::get<I::Reussi>(initiateur.etat()).liaison;
  const auto& telephone = std::get<R::Reussi>(repondeur.etat());
  EXPECT_EQ(telephone.nomOrdinateur, "Postede Léa");

  // K0 : de l'ordinateur vers le téléphone ; K1 : en retour ; jamais la même clé.
  const auto versTelephone = mac.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  const auto versMac = telephone.liaison.scelleur->sceller(Octets{4}, SorteEnveloppe::horloge);
  ASSERT_TRUE(versTelephone && versMac);
  EXPECT_EQ(telephone.liaison.ouvreur->ouvrir(*versTelephone)->contenu, (Octets{1, 2, 3}));
  EXPECT_EQ(mac.ouvreur->ouvrir(*versMac)->contenu, (Octets{4}));
  EXPECT_FALSE(mac.ouvreur->ouvrir(*mac.scelleur->sceller(Octets{5}, SorteEnveloppe::audio)));
}

// Codes qui ne diffèrent que du bit r : le répondeur refuse le dévoilement du rang r, après
// 4 + 4r messages, et l'initiateur, qui avait dévoilé, tient son code pour entamé.
TEST(Appairage, CodeDifferantDuSeulBitRSeVoitAuRangR) {
  for (int r = 0; r < static_cast<int>(nombreDeRangs); ++r) {
    I initiateur(codeDe(0), "Mac", std::make_shared<HasardDeterministe>(10 + r));
    R repondeur(codeDe(1 << r), std::make_shared<HasardDeterministe>(30 + r));
    const std::vector<Octets> fil = jouerEchange(initiateur, repondeur);
    ASSERT_EQ(fil.size(), 6u + 4u * r) << "rang " << r;
    const auto avantDernier = MessagePasskey::decoder(fil[fil.size() - 2]);
    ASSERT_TRUE(avantDernier && avantDernier->comme<MessagePasskey::Devoilement>());
    EXPECT_EQ(avantDernier->comme<MessagePasskey::Devoilement>()->rang, r);
    EXPECT_EQ(*MessagePasskey::decoder(fil.back()),
              MessagePasskey::refus(avantDernier->tentative()));
    EXPECT_EQ(repondeur.etat(), R::Etat{R::Echoue{true}}) << "rang " << r;
    EXPECT_EQ(initiateur.etat(), I::Etat{I::Echoue{true}}) << "rang " << r;
  }
}

// Chaque message arrive deux fois : le double reçoit la même réponse et ne tire rien.
TEST(Appairage, RetransmissionsAChaquePas) {
  auto hasardI = std::make_shared<HasardScripte>(Octets{}, 1);
  auto hasardR = std::make_shared<HasardScripte>(Octets{}, 2);
  I initiateur(codeDe(1234), "Mac", hasardI);
  R repondeur(codeDe(1234), hasardR);
  int messages = 1;
  std::optional<MessagePasskey> versR = initiateur.dernierMessage();
  while (versR) {
    const auto reponse = repondeur.recevoir(*versR);
    const std::uint64_t tiresR = hasardR->octetsTires();
    EXPECT_EQ(repondeur.recevoir(*versR), reponse) << messages;
    EXPECT_EQ(hasardR->octetsTires(), tiresR);
    ++messages;
    ASSERT_TRUE(reponse.has_value());
    versR = initiateur.recevoir(*reponse);
    const std::uint64_t tiresI = hasardI->octetsTires();
    const auto double_ = initiateur.recevoir(*reponse);
    // Le double de la confirmation finale reçoit de nouveau notre confirmation.
    EXPECT_EQ(double_, versR ? versR : std::optional(initiateur.dernierMessage())) << messages;
    EXPECT_EQ(hasardI->octetsTires(), tiresI);
    ++messages;
  }
  EXPECT_EQ(messages, 61);
  EXPECT_TRUE(std::holds_alternative<I::Reussi>(initiateur.etat()));
  EXPECT_TRUE(std::holds_alternative<R::Reussi>(repondeur.etat()));
}

// Transcript doré : sources déterministes de graines 1 (initiateur) et 2 (répondeur), code
// 2024, nom « Poste de Léa ». Tout changement de disposition, d'ordre des tirages ou de
// dérivation des clés le casse.
TEST(Appairage, TranscriptDoreReproduitOctetPourOctet) {
  I initiateur(codeDe(2024), "Poste de Léa", std::make_shared<HasardDeterministe>(1));
  R repondeur(codeDe(2024), std::make_shared<HasardDeterministe>(2));
  const std::vector<Octets> fil = jouerEchange(initiateur, repondeur);
  std::ostringstream obtenu;
  for (std::size_t i = 0; i < fil.size(); ++i)
    obtenu << (i % 2 == 0 ? "I " : "R ") << enHex(fil[i]) << "\n";

  const auto chemin =
      std::filesystem::path(__FILE__).parent_path() / "donnees" / "transcript_appairage.txt";
  std::ifstream fichier(chemin);
  ASSERT_TRUE(fichier) << chemin;
  std::ostringstream attendu;
  for (std::string ligne; std::getline(fichier, ligne);) {
    if (!ligne.empty() && ligne[0] != '#') attendu << ligne << "\n";
  }
  EXPECT_EQ(obtenu.str(), attendu.str()) << "transcript obtenu :\n" << obtenu.str();
}

}  // namespace
}  // namespace ravlo
