// SPDX-License-Identifier: MPL-2.0
// Le fichier d'état du silence, relu après la mort brutale du programme qui l'a écrit.
#include "plateforme/pulseaudio/etat_silence.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "plateforme/pulseaudio/fichier_etat_silence.hpp"

namespace ravlo {
namespace {

// Écrit pendant une mort possible : tout texte qui n'a pas exactement la forme écrite (tronqué,
// abîmé) est refusé plutôt que lu à moitié. L'aller-retour, lui, est éprouvé par le fuzz.
TEST(EtatSilence, UnTexteQuiNEstPasExactementDeCetteFormeEstRefuse) {
  const EtatSilence etat{"alsa_output.analog-stereo", {{4294967295u, "casque usb à côté"}}};
  EXPECT_EQ(EtatSilence::lire(etat.texte()), etat);
  for (const std::string texte :
       {"", "ravlo-silence 1", "ravlo-silence 2\n", "ravlo-silence 1\nprecedent speakers",
        "ravlo-silence 1\nprecedent \n", "ravlo-silence 1\nprecedent a\nprecedent b\n",
        "ravlo-silence 1\ndeplace 12\n", "ravlo-silence 1\ndeplace -1 speakers\n",
        "ravlo-silence 1\ndeplace 4294967296 speakers\n", "ravlo-silence 1\ndeplace 1x speakers\n",
        "ravlo-silence 1\ndeplace 1 spe\x01kers\n", "ravlo-silence 1\ninconnu x\n",
        "ravlo-silence 1\n\n"}) {
    EXPECT_EQ(EtatSilence::lire(texte), std::nullopt) << texte;
  }
}

// Tenu, le fichier est vivant (celui d'un autre programme qui tourne : on n'y touche pas) ;
// lâché sans être effacé, comme à la mort de son programme, c'est un reste à défaire.
TEST(FichierEtat, UnFichierLacheSansEtreEffaceEstUnReste) {
  char modele[] = "/tmp/ravlo-fichier-etat.XXXXXX";
  ASSERT_NE(::mkdtemp(modele), nullptr);
  const std::string repertoire = modele;
  const EtatSilence etat{"speakers", {{3, "casque"}}};
  {
    auto fichier = FichierEtatSilence::creer(repertoire, "ravlo_link-1-1");
    ASSERT_TRUE(fichier.has_value() && fichier->ecrire(etat));
    EXPECT_FALSE(FichierEtatSilence::creer(repertoire, "ravlo_link-1-1").has_value());
    EXPECT_FALSE(FichierEtatSilence::creer(repertoire, "../ravlo_link").has_value());
    const RestesSilence restes = RestesSilence::chercher(repertoire);
    EXPECT_TRUE(restes.morts.empty());
    EXPECT_EQ(restes.vivants, std::vector<std::string>{"ravlo_link-1-1"});
  }
  RestesSilence restes = RestesSilence::chercher(repertoire);
  ASSERT_EQ(restes.morts.size(), 1u);
  EXPECT_EQ(restes.morts[0].puits(), "ravlo_link-1-1");
  EXPECT_EQ(restes.morts[0].lire(), etat);
  EXPECT_EQ(RestesSilence::chercher(repertoire).vivants.size(), 1u) << "qui le reprend le tient";
  restes.morts[0].supprimer();
  EXPECT_TRUE(std::filesystem::is_empty(repertoire));
  std::filesystem::remove_all(repertoire);
}

}  // namespace
}  // namespace ravlo
