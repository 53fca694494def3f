#include "link/plateforme/pulseaudio/etat_silence.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/plateforme/pulseaudio/fichier_etat_silence.hpp"

namespace ravlo {
namespace {

TEST(EtatSilence, AllerRetourDuTexte) {
  const EtatSilence etat{"alsa_output.pci-0000_00_1f.3.analog-stereo",
                         {{12, "speakers"}, {4294967295u, "casque usb à côté"}}};
  const std::string texte = etat.texte();
  EXPECT_EQ(texte,
            "ravlo-silence 1\n"
            "precedent alsa_output.pci-0000_00_1f.3.analog-stereo\n"
            "deplace 12 speakers\n"
            "deplace 4294967295 casque usb à côté\n");
  EXPECT_EQ(EtatSilence::lire(texte), etat);
  EXPECT_EQ(EtatSilence::lire("ravlo-silence 1\n"), EtatSilence{});
}

TEST(EtatSilence, UnTexteQuiNEstPasExactementDeCetteFormeEstRefuse) {
  for (const std::string texte : {
           "",
           "ravlo-silence 1",                                 // tronqué : pas de fin de ligne
           "ravlo-silence 2\n",                               // autre version
           "ravlo-silence 1\nprecedent speakers",             // dernière ligne tronquée
           "ravlo-silence 1\nprecedent \n",                   // nom vide
           "ravlo-silence 1\nprecedent a\nprecedent b\n",     // deux fois
           "ravlo-silence 1\ndeplace 12\n",                   // sans sortie
           "ravlo-silence 1\ndeplace -1 speakers\n",          // négatif
           "ravlo-silence 1\ndeplace 4294967296 speakers\n",  // déborde
           "ravlo-silence 1\ndeplace 1x speakers\n",          // pas un nombre
           "ravlo-silence 1\ndeplace 1 spe\x01kers\n",        // caractère de contrôle
           "ravlo-silence 1\ninconnu x\n",
           "ravlo-silence 1\n\n",
       }) {
    EXPECT_EQ(EtatSilence::lire(texte), std::nullopt) << texte;
  }
}

class FichierEtat : public ::testing::Test {
 protected:
  void SetUp() override {
    char modele[] = "/tmp/ravlo-fichier-etat.XXXXXX";
    ASSERT_NE(::mkdtemp(modele), nullptr);
    repertoire_ = modele;
  }
  void TearDown() override { std::filesystem::remove_all(repertoire_); }
  std::string repertoire_;
};

// Tant que le fichier est tenu, il est vivant (même pour ce programme-ci) ; lâché sans être
// effacé, comme à la mort de son programme, c'est un reste lisible.
TEST_F(FichierEtat, UnFichierLacheSansEtreEffaceEstUnReste) {
  const EtatSilence etat{"speakers", {{3, "casque"}}};
  {
    auto fichier = FichierEtatSilence::creer(repertoire_, "ravlo_link-1-1");
    ASSERT_TRUE(fichier.has_value());
    ASSERT_TRUE(fichier->ecrire(etat));
    const RestesSilence restes = RestesSilence::chercher(repertoire_);
    EXPECT_TRUE(restes.morts.empty());
    EXPECT_EQ(restes.vivants, std::vector<std::string>{"ravlo_link-1-1"});
  }
  RestesSilence restes = RestesSilence::chercher(repertoire_);
  ASSERT_EQ(restes.morts.size(), 1u);
  EXPECT_TRUE(restes.vivants.empty());
  EXPECT_EQ(restes.morts[0].puits(), "ravlo_link-1-1");
  EXPECT_EQ(restes.morts[0].lire(), etat);
  // Qui le reprend le tient : un second chercheur le voit vivant.
  EXPECT_EQ(RestesSilence::chercher(repertoire_).vivants.size(), 1u);
  restes.morts[0].supprimer();
  EXPECT_TRUE(std::filesystem::is_empty(repertoire_));
}

TEST_F(FichierEtat, CreationRefuseeSansRepertoireOuAvecUnNomDouteux) {
  EXPECT_FALSE(FichierEtatSilence::creer("", "ravlo_link-1-1").has_value());
  EXPECT_FALSE(FichierEtatSilence::creer(repertoire_, "../ravlo_link").has_value());
  EXPECT_FALSE(FichierEtatSilence::creer(repertoire_ + "/absent", "ravlo_link-1-1").has_value());
  auto premier = FichierEtatSilence::creer(repertoire_, "ravlo_link-1-2");
  ASSERT_TRUE(premier.has_value());
  EXPECT_FALSE(FichierEtatSilence::creer(repertoire_, "ravlo_link-1-2").has_value())
      << "jamais deux fichiers pour une même sortie";
  EXPECT_FALSE(std::filesystem::exists(repertoire_ + "/.ravlo_link-1-2.nouveau"));
  EXPECT_EQ(RestesSilence::chercher(repertoire_).vivants.size(), 1u) << "le premier tient";
  // Les fichiers étrangers au répertoire sont ignorés.
  std::filesystem::create_directory(repertoire_ + "/dossier.etat");
  EXPECT_TRUE(RestesSilence::chercher(repertoire_).morts.empty());
}

}  // namespace
}  // namespace ravlo
