#include "link/sending/diffusion_model.hpp"

#include <gtest/gtest.h>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/plateforme_audio_fausse.hpp"
#include "protocol/message_fin.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasEtat = DiffusionModel::Etat::Cas;

const Cle versRecepteur{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const Cle versEmetteur{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                       2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};

// Le modèle sur une file manuelle qui sert de fil principal et de file de l'émetteur.
struct Diffusion : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::PlateformeAudioFausse> audio =
      std::make_shared<faux::PlateformeAudioFausse>();
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  std::vector<DiffusionModel::Fin> fins;
  std::shared_ptr<DiffusionModel> modele = creer();
  Scelleur scelleurRecepteur{versEmetteur};

  // L'arrêt posté de l'émetteur le tient, et lui tient la file : on le laisse s'exécuter.
  ~Diffusion() override {
    modele.reset();
    file->executer();
  }

  std::shared_ptr<DiffusionModel> creer() {
    auto m = DiffusionModel::creer({file.get(), audio, file, connexions, &horloge, reglages,
                                    [] { return std::string("fr"); }});
    m->quandLIPhoneArrete([this](DiffusionModel::Fin f) { fins.push_back(f); });
    return m;
  }
  void demarrer() {
    modele->demarrer(PointReseau{"127.0.0.1", 50'000},
                     Liaison::nouvelle(versRecepteur, versEmetteur));
    file->executer();
  }
  // 320 trames flottantes captées il y a 10 ms.
  void livrerBloc() {
    static const std::vector<float> bloc(640, 0.25F);
    const TamponBloc t{bloc.data(), 2560};
    audio->livrer({&t, 1}, {HorodatageBloc::heureHoteValide, horloge.hoteNs() - 10'000'000});
  }
  void finDuRecepteur(faux::ConnexionFactice& c) {
    ASSERT_TRUE(c.livrer(*scelleurRecepteur.sceller(MessageFin::donnees, SorteEnveloppe::fin)));
  }
};

TEST_F(Diffusion, EchecDeDemarrageNeToucheQuALEtatEtArreterLeGarde) {
  demarrer();
  connexions->derniere().jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
  for (int i = 0; i < 160; ++i) {
    livrerBloc();
    file->avancer(10ms);
  }
  EXPECT_GT(modele->paquetsEnvoyes(), 100);
  EXPECT_GT(modele->pireAttenteMs(), 9.0);
  modele->arreter();
  file->avancer(3s);
  EXPECT_EQ(modele->etat().cas, CasEtat::pret);
  EXPECT_DOUBLE_EQ(modele->duree(), 1.5) << "gardée après l'arrêt";

  audio->script.tap = {-1, 0};
  demarrer();
  const DiffusionModel::Etat echec{CasEtat::echec,
                                   SystemAudioTapError::tapImpossible(-1).description("fr")};
  EXPECT_EQ(modele->etat(), echec);
  EXPECT_EQ(modele->numeroEnvoi(), 1);
  EXPECT_EQ(connexions->creees.size(), 1u) << "aucun émetteur";
  file->avancer(2s);
  EXPECT_DOUBLE_EQ(modele->duree(), 1.5) << "aucun suivi, compteurs gardés";
  modele->arreter();
  EXPECT_EQ(modele->etat(), echec);

  audio->script.tap = {0, 7};
  const double pire = modele->pireAttenteMs();
  demarrer();
  EXPECT_EQ(modele->etat().cas, CasEtat::diffusion);
  EXPECT_EQ(modele->numeroEnvoi(), 2);
  EXPECT_EQ(modele->paquetsEnvoyes(), 0);
  EXPECT_DOUBLE_EQ(modele->pireAttenteMs(), pire) << "jusqu'au premier suivi";
  file->avancer(500ms);
  EXPECT_DOUBLE_EQ(modele->pireAttenteMs(), 0.0);
  EXPECT_DOUBLE_EQ(modele->duree(), 0.5);
}

// Ce que fait la surveillance de la capture, relevé à chaque demi-seconde pendant 8 s.
TEST_F(Diffusion, CaptureMuetteRelanceeDeuxFoisPuisSignalee) {
  struct Cas {
    const char* nom;
    std::vector<int> livraisons;  // demi-secondes où une trame arrive
    bool relanceRefusee;
    int panne;  // demi-seconde où la capture se dit en panne, -1 : jamais
    std::vector<std::pair<int, std::int64_t>> relances;  // (demi-seconde, capturesRelancees)
    int muette;                                          // demi-seconde, -1 : jamais
  };
  const std::vector<Cas> cas{
      {"jamais rien", {}, false, -1, {{4, 1}, {8, 2}}, 12},
      {"une trame repousse la relance", {3}, false, -1, {{7, 1}, {11, 2}}, 15},
      {"livre puis se tait", {1, 2, 3, 4, 5, 6}, false, -1, {{10, 1}, {14, 2}}, 18},
      {"chaque relance qui relivre rend les deux relances",
       {5, 10, 15},
       false,
       -1,
       {{4, 1}, {9, 2}, {14, 3}},
       -1},
      {"relance refusée", {}, true, -1, {}, 4},
      {"en panne : relancée sans attendre, même en livrant",
       {1, 2, 3},
       false,
       3,
       {{3, 1}, {7, 2}},
       11},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    audio->script.rappel = {0, 3};
    modele = creer();
    demarrer();
    std::vector<std::pair<int, std::int64_t>> relances;
    int muette = -1;
    for (int demi = 1; demi <= 18; ++demi) {
      if (std::ranges::find(c.livraisons, demi) != c.livraisons.end()) livrerBloc();
      if (c.relanceRefusee) audio->script.rappel = {-5, std::nullopt};
      if (demi == c.panne) audio->echec = 11;  // lien au serveur de son coupé
      const auto avant = modele->capturesRelancees();
      file->avancer(500ms);
      if (modele->capturesRelancees() != avant) {
        relances.emplace_back(demi, modele->capturesRelancees());
        audio->echec = 0;  // la capture neuve tourne
      }
      if (muette < 0 && modele->captureMuette()) muette = demi;
    }
    EXPECT_EQ(relances, c.relances);
    EXPECT_EQ(muette, c.muette);
    EXPECT_EQ(modele->etat().cas, CasEtat::diffusion) << "l'envoi continue";
    modele->arreter();
  }
}

// La fin et le renoncement passent par le modèle de l'application (tests/app) ; ici, la fin
// d'une diffusion qui arrive quand une autre a pris sa place.
TEST_F(Diffusion, LaFinDUneDiffusionAnterieureEstIgnoree) {
  demarrer();
  auto& premiere = connexions->derniere();
  premiere.jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
  file->executer();
  finDuRecepteur(premiere);
  modele->arreter();
  demarrer();
  EXPECT_TRUE(fins.empty());
  EXPECT_EQ(modele->etat().cas, CasEtat::diffusion);
  EXPECT_EQ(modele->numeroEnvoi(), 2);
}

TEST_F(Diffusion, SilenceRetenuEtAppliqueALaCaptureEnCours) {
  modele->changerNEntendreQueLIPhone(true);
  EXPECT_EQ(reglages->lireBooleen(DiffusionModel::cleSilence), true);
  EXPECT_TRUE(creer()->nEntendreQueLIPhone()) << "relu à la construction";
  demarrer();
  EXPECT_TRUE(audio->description->silencieux) << "démarrée silencieuse";
  modele->changerNEntendreQueLIPhone(false);
  EXPECT_FALSE(audio->description->silencieux) << "aussitôt";
  audio->script.ecrireDescription = -1;
  modele->changerNEntendreQueLIPhone(true);
  EXPECT_TRUE(modele->reglageSilenceRefuse());
  modele->arreter();
  modele->changerNEntendreQueLIPhone(false);
  EXPECT_FALSE(modele->reglageSilenceRefuse()) << "sans capture, rien à refuser";
}

}  // namespace
}  // namespace ravlo
