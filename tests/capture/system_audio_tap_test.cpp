#include "link/capture/system_audio_tap.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "faux/plateforme_audio_fausse.hpp"
#include "protocol/table_textes.hpp"

namespace ravlo {
namespace {

using Fausse = faux::PlateformeAudioFausse;
using Cas = CasSystemAudioTapError;

struct Banc {
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  std::shared_ptr<Fausse> plateforme = std::make_shared<Fausse>();
  std::unique_ptr<SystemAudioTap> tap;

  explicit Banc(bool silencieux = false)
      : tap(std::make_unique<SystemAudioTap>(tampon, silencieux, plateforme)) {}

  // Appels de démolition faits depuis un point du journal.
  std::vector<std::string> journalDepuis(std::size_t debut) const {
    return {plateforme->journal.begin() + static_cast<std::ptrdiff_t>(debut),
            plateforme->journal.end()};
  }
};

TEST(SystemAudioTap, DemarrageCompletPuisArretDansLOrdreInverse) {
  Banc banc;
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  EXPECT_EQ(banc.plateforme->journal,
            (std::vector<std::string>{"lireSortieParDefaut", "lireIdentifiantSortie 41",
                                      "creerTap Ravlo Link", "lireFormatTap 7",
                                      "creerAgregat 7 speakers", "creerRappel 9", "demarrer 9 3"}));
  EXPECT_EQ(banc.tap->formatCapture(), Fausse::stereoFlottant48k());
  EXPECT_TRUE(banc.plateforme->demarre);

  const std::size_t avant = banc.plateforme->journal.size();
  banc.tap->arreter();
  EXPECT_EQ(banc.journalDepuis(avant),
            (std::vector<std::string>{"arreter 9 3", "detruireRappel 9 3", "detruireAgregat 9",
                                      "detruireTap 7"}));
  banc.tap->arreter();
  EXPECT_EQ(banc.plateforme->journal.size(), avant + 4) << "un second arrêt ne fait rien";

  // La destruction arrête aussi une capture qui tourne.
  Banc autre;
  ASSERT_TRUE(autre.tap->demarrer().has_value());
  const std::size_t avantDestruction = autre.plateforme->journal.size();
  autre.tap.reset();
  EXPECT_EQ(autre.journalDepuis(avantDestruction).size(), 4u);
  EXPECT_FALSE(autre.plateforme->rappelInstalle);
  EXPECT_FALSE(autre.plateforme->description.has_value());
}

TEST(SystemAudioTap, ArretSansDemarrageNeFaitRien) {
  Banc banc;
  banc.tap->arreter();
  banc.tap->arreter();
  EXPECT_TRUE(banc.plateforme->journal.empty());
}

// Chaque étape qui échoue rend son cas, son code et son texte ; `arreter` démolit ensuite ce
// qui a été créé, et seulement cela.
TEST(SystemAudioTap, ChaqueEtapeEnEchecDonneSonErreurEtLaissesUnObjetQueLArretNettoie) {
  struct Echec {
    std::string nom;
    std::function<void(Fausse::Script&)> scripter;
    SystemAudioTapError attendue;
    std::vector<std::string> demolition;
  };
  const std::vector<Echec> echecs{
      {"sortie par défaut",
       [](auto& s) { s.sortie.statut = -5; },
       SystemAudioTapError::coreAudio("lecture de la sortie par défaut", -5),
       {}},
      {"identifiant refusé",
       [](auto& s) { s.identifiantSortie.statut = 6; },
       SystemAudioTapError::coreAudio("identifiant de la sortie", 6),
       {}},
      {"identifiant absent",
       [](auto& s) { s.identifiantSortie.valeur.reset(); },
       SystemAudioTapError::coreAudio("identifiant de la sortie", 0),
       {}},
      {"tap refusé", [](auto& s) { s.tap = {-1, 0}; }, SystemAudioTapError::tapImpossible(-1), {}},
      {"tap nul", [](auto& s) { s.tap = {0, 0}; }, SystemAudioTapError::tapImpossible(0), {}},
      {"format refusé",
       [](auto& s) { s.format.statut = 3; },
       SystemAudioTapError::coreAudio("format du tap", 3),
       {"detruireTap 7"}},
      {"fréquence nulle",
       [](auto& s) { s.format.valeur.frequence = 0; },
       SystemAudioTapError::coreAudio("format du tap", 0),
       {"detruireTap 7"}},
      {"fréquence NaN",
       [](auto& s) { s.format.valeur.frequence = std::numeric_limits<double>::quiet_NaN(); },
       SystemAudioTapError::coreAudio("format du tap", 0),
       {"detruireTap 7"}},
      {"fréquence infinie",
       [](auto& s) { s.format.valeur.frequence = std::numeric_limits<double>::infinity(); },
       SystemAudioTapError::coreAudio("format du tap", 0),
       {"detruireTap 7"}},
      {"trame vide",
       [](auto& s) { s.format.valeur.octetsParTrame = 0; },
       SystemAudioTapError::coreAudio("format du tap", 0),
       {"detruireTap 7"}},
      {"agrégat refusé",
       [](auto& s) { s.agregat = {12, 0}; },
       SystemAudioTapError::coreAudio("création de l'appareil agrégé", 12),
       {"detruireTap 7"}},
      {"agrégat refusé mais rendu",
       [](auto& s) { s.agregat = {12, 9}; },
       SystemAudioTapError::coreAudio("création de l'appareil agrégé", 12),
       {"detruireAgregat 9", "detruireTap 7"}},
      {"rappel refusé",
       [](auto& s) { s.rappel = {4, std::nullopt}; },
       SystemAudioTapError::coreAudio("installation du rappel audio", 4),
       {"detruireAgregat 9", "detruireTap 7"}},
      {"rappel absent",
       [](auto& s) { s.rappel = {0, std::nullopt}; },
       SystemAudioTapError::coreAudio("installation du rappel audio", 0),
       {"detruireAgregat 9", "detruireTap 7"}},
      {"démarrage refusé",
       [](auto& s) { s.demarrer = 8; },
       SystemAudioTapError::coreAudio("démarrage de la capture", 8),
       {"arreter 9 3", "detruireRappel 9 3", "detruireAgregat 9", "detruireTap 7"}},
  };
  for (const Echec& echec : echecs) {
    SCOPED_TRACE(echec.nom);
    Banc banc;
    echec.scripter(banc.plateforme->script);
    const auto resultat = banc.tap->demarrer();
    ASSERT_FALSE(resultat.has_value());
    EXPECT_EQ(resultat.error(), echec.attendue);
    const std::size_t avant = banc.plateforme->journal.size();
    banc.tap->arreter();
    EXPECT_EQ(banc.journalDepuis(avant), echec.demolition);
    EXPECT_FALSE(banc.plateforme->agregatVivant);
    EXPECT_FALSE(banc.plateforme->rappelInstalle);
    banc.tap->arreter();
    EXPECT_EQ(banc.journalDepuis(avant), echec.demolition);
  }
}

TEST(SystemAudioTap, TextesDesErreursDuSystemeDeSon) {
  // Racine d'essai sans catalogue français : en français, les clés elles-mêmes.
  lierTableTextes(RAVLO_LOCALES_CAPTURE);
  EXPECT_EQ(SystemAudioTapError::tapImpossible(-1).description("fr_FR.UTF-8"),
            "macOS n'a pas laissé Ravlo Link capter le son de ce Mac (code -1).\n"
            "La cause la plus fréquente est l'autorisation : ouvre Réglages Système → "
            "Confidentialité et sécurité → Enregistrement de l'écran et des sons du système, et "
            "active Ravlo Link.");
  const auto agregat = SystemAudioTapError::coreAudio("création de l'appareil agrégé", 1852797029);
  EXPECT_EQ(agregat.description("fr_FR.UTF-8"),
            "Le son de ce Mac n'a pas pu être capté (étape « création de l'appareil agrégé », code "
            "1852797029). Quitte Ravlo Link, rouvre-le, puis relance l'envoi.");
  EXPECT_EQ(SystemAudioTapError::formatInattendu("Une phrase.").description("en"), "Une phrase.");

  // Traduits : le modèle reçoit le nom d'étape traduit et le code ; « %% » y devient « % ».
  EXPECT_EQ(agregat.description("en_GB.UTF-8"),
            "The sound of this Mac could not be captured (step “creating the aggregate device”, "
            "code 1852797029, 100% sure). Quit Ravlo Link, reopen it, then restart sending.");
  EXPECT_EQ(SystemAudioTapError::canauxInattendus(6, "en").description("fr"),
            "This Mac delivers 6 channels, but Ravlo expects stereo.")
      << "la phrase d'un format refusé est faite dans la locale de la vérification";
  // Sans traduction, le français : ici le nom d'étape dans une phrase traduite.
  EXPECT_EQ(SystemAudioTapError::coreAudio("format du tap", -3).description("en"),
            "The sound of this Mac could not be captured (step “format du tap”, code -3, 100% "
            "sure). Quit Ravlo Link, reopen it, then restart sending.");
}

// Les bits d'abord, puis les voies, puis la fréquence ; chaque phrase nomme la valeur fautive.
TEST(SystemAudioTap, LeFormatEstRefuseAvecUnePhraseQuiNommeLaValeur) {
  struct Format {
    std::string nom;
    std::function<void(FormatFlux&)> modifier;
    std::string phrase;
  };
  const auto entiers16 = [](FormatFlux& f) {
    f.drapeaux = FormatFlux::drapeauEntierSigne | FormatFlux::drapeauCompact;
    f.bitsParCanal = 16;
    f.octetsParTrame = 4;
  };
  const std::string phraseFrequence =
      " Hz, or Ravlo transmet du 48 000 Hz. Le son sortirait de l'iPhone au mauvais rythme.\n"
      "Ouvre « Configuration audio et MIDI » et règle la sortie sur 48 000 Hz.";
  const std::vector<Format> formats{
      {"16 bits", entiers16,
       "Ce Mac livre son audio en 16 bits, or Ravlo attend des flottants 32 bits."},
      {"entiers 32 bits", [](auto& f) { f.drapeaux = FormatFlux::drapeauEntierSigne; },
       "Ce Mac livre son audio en 32 bits, or Ravlo attend des flottants 32 bits."},
      {"6 voies", [](auto& f) { f.canauxParTrame = 6; },
       "Ce Mac livre 6 canaux, or Ravlo attend de la stéréo."},
      {"16 bits et 6 voies",
       [&](auto& f) {
         entiers16(f);
         f.canauxParTrame = 6;
       },
       "Ce Mac livre son audio en 16 bits, or Ravlo attend des flottants 32 bits."},
      {"6 voies à 44 100 Hz",
       [](auto& f) {
         f.canauxParTrame = 6;
         f.frequence = 44'100;
       },
       "Ce Mac livre 6 canaux, or Ravlo attend de la stéréo."},
      {"44 100 Hz", [](auto& f) { f.frequence = 44'100; },
       "La sortie de ce Mac tourne à 44100" + phraseFrequence},
      {"tronquée", [](auto& f) { f.frequence = 47'999.99; },
       "La sortie de ce Mac tourne à 47999" + phraseFrequence},
      {"énorme", [](auto& f) { f.frequence = 1e20; },
       "La sortie de ce Mac tourne à 100000000000000000000" + phraseFrequence},
  };
  for (const Format& format : formats) {
    SCOPED_TRACE(format.nom);
    Banc banc;
    format.modifier(banc.plateforme->script.format.valeur);
    const auto resultat = banc.tap->demarrer();
    ASSERT_FALSE(resultat.has_value());
    EXPECT_EQ(resultat.error().cas, Cas::formatInattendu);
    EXPECT_EQ(resultat.error().description(), format.phrase);
    EXPECT_FALSE(banc.plateforme->rappelInstalle) << "aucun rappel pour un format refusé";
    banc.tap->arreter();
    EXPECT_FALSE(banc.plateforme->agregatVivant);
    EXPECT_FALSE(banc.plateforme->description.has_value());
  }
}

TEST(SystemAudioTap, LeSilenceChoisiAvantLeDemarrageSertAuDemarrage) {
  Banc banc;
  EXPECT_TRUE(banc.tap->changerSilence(true));
  EXPECT_TRUE(banc.tap->macSilencieux());
  EXPECT_TRUE(banc.plateforme->journal.empty()) << "aucune capture à changer";
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  EXPECT_EQ(banc.plateforme->journal[2], "creerTap Ravlo Link silencieux");
  EXPECT_EQ(banc.plateforme->description, (DescriptionTap{"Ravlo Link", true}));
}

TEST(SystemAudioTap, LeSilenceChangeSurLaCaptureEnCours) {
  Banc banc(true);
  ASSERT_TRUE(banc.tap->demarrer().has_value());
  const std::size_t avant = banc.plateforme->journal.size();
  EXPECT_TRUE(banc.tap->changerSilence(false));
  EXPECT_EQ(banc.journalDepuis(avant),
            (std::vector<std::string>{"lireDescriptionTap 7", "ecrireDescriptionTap 7"}));
  EXPECT_EQ(banc.plateforme->description, (DescriptionTap{"Ravlo Link", false}));
  EXPECT_TRUE(banc.tap->changerSilence(true));
  EXPECT_EQ(banc.plateforme->description, (DescriptionTap{"Ravlo Link", true}));

  // Refus du système : faux, la capture reste comme elle était, le réglage est retenu.
  banc.plateforme->script.ecrireDescription = 5;
  EXPECT_FALSE(banc.tap->changerSilence(false));
  EXPECT_FALSE(banc.tap->macSilencieux());
  EXPECT_TRUE(banc.plateforme->description->silencieux);

  banc.plateforme->script.ecrireDescription = 0;
  banc.plateforme->script.lireDescription = 2;
  EXPECT_FALSE(banc.tap->changerSilence(false));
  banc.plateforme->script.lireDescription = 0;
  banc.plateforme->script.descriptionAbsente = true;
  EXPECT_FALSE(banc.tap->changerSilence(false));
  EXPECT_TRUE(banc.plateforme->description->silencieux);

  // Arrêtée, la capture ne touche plus au système.
  banc.tap->arreter();
  const std::size_t apres = banc.plateforme->journal.size();
  EXPECT_TRUE(banc.tap->changerSilence(true));
  EXPECT_EQ(banc.plateforme->journal.size(), apres);
}

}  // namespace
}  // namespace ravlo
