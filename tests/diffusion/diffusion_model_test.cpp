#include "link/diffusion/diffusion_model.hpp"

#include <gtest/gtest.h>

#include "faux/capture_fausse.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/magasin_reglages_memoire.hpp"
#include "protocol/messages/message_fin.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

Liaison liaison() {
  Cle versRecepteur;
  Cle versEmetteur;
  versRecepteur.fill(1);
  versEmetteur.fill(2);
  return Liaison::nouvelle(versRecepteur, versEmetteur);
}

// Le modèle sur une file manuelle qui sert de fil principal et de file de l'émetteur.
struct ModeleEnDiffusion : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::SonFaux> audio = std::make_shared<faux::SonFaux>();
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  int fins = 0;
  std::shared_ptr<DiffusionModel> modele = creer();

  // L'arrêt posté de l'émetteur le tient, et lui tient la file : on le laisse s'exécuter.
  ~ModeleEnDiffusion() override {
    modele.reset();
    file->executer();
  }
  std::shared_ptr<DiffusionModel> creer() {
    auto m = DiffusionModel::creer({file.get(), audio->fabrique(), file, connexions, &horloge,
                                    reglages, [] { return std::string("fr"); }});
    m->quandRecepteurArrete([this](DiffusionModel::Fin, const std::string&) { ++fins; });
    return m;
  }
  void demarrer() {
    modele->demarrer(PointReseau{"127.0.0.1", 50'000}, liaison());
    file->executer();
  }
};

// Ce que fait la surveillance de la capture, relevé à chaque demi-seconde pendant 9 s.
TEST_F(ModeleEnDiffusion, CaptureMuetteRelanceeDeuxFoisPuisSignalee) {
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
      {"une trame repousse", {3}, false, -1, {{7, 1}, {11, 2}}, 15},
      {"livre puis se tait", {1, 2, 3, 4, 5, 6}, false, -1, {{10, 1}, {14, 2}}, 18},
      {"relancée qui relivre", {5, 10, 15}, false, -1, {{4, 1}, {9, 2}, {14, 3}}, -1},
      {"relance refusée", {}, true, -1, {}, 4},
      {"en panne : sans attendre", {1, 2, 3}, false, 3, {{3, 1}, {7, 2}}, 11},
  };
  static const std::vector<float> son(640, 0.25F);

  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    audio->script.demarrer.reset();
    modele = creer();
    demarrer();
    std::vector<std::pair<int, std::int64_t>> relances;
    int muette = -1;
    for (int demi = 1; demi <= 18; ++demi) {
      if (std::ranges::find(c.livraisons, demi) != c.livraisons.end())
        audio->livrer({son, 0, horloge.hoteNs()});
      if (c.relanceRefusee)
        audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::fluxImpossible, -5};
      // Lien au serveur de son coupé.
      if (demi == c.panne)
        audio->tomberEnPanne(ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11});
      const auto avant = modele->capturesRelancees();
      file->avancer(500ms);
      if (modele->capturesRelancees() != avant) {
        relances.emplace_back(demi, modele->capturesRelancees());
        audio->tomberEnPanne(std::nullopt);  // la capture neuve tourne
      }
      if (muette < 0 && modele->captureMuette()) muette = demi;
    }
    EXPECT_EQ(relances, c.relances);
    EXPECT_EQ(muette, c.muette);
    EXPECT_TRUE(modele->enDiffusion()) << "l'envoi continue";
    modele->arreter();
  }
}

TEST_F(ModeleEnDiffusion, SilenceRetenuEtAppliqueALaCaptureEnCours) {
  modele->changerNEntendreQueLeRecepteur(true);
  EXPECT_TRUE(creer()->nEntendreQueLeRecepteur()) << "retenu dans les réglages";
  demarrer();
  EXPECT_TRUE(audio->muet) << "démarrée silencieuse";
  modele->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(audio->muet) << "aussitôt";
  audio->script.silence = ErreurCapture{ErreurCapture::Cas::silenceImpossible, -1};
  modele->changerNEntendreQueLeRecepteur(true);
  EXPECT_TRUE(modele->reglageSilenceRefuse());
  modele->arreter();
  modele->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(modele->reglageSilenceRefuse()) << "sans capture, rien à refuser";
}

// Le choix gardé sous la clé des versions précédentes passe une fois sous la nouvelle ; ensuite
// l'ancienne clé ne décide plus de rien.
TEST_F(ModeleEnDiffusion, SilenceReprisDeLAncienneCleUneSeuleFois) {
  struct Cas {
    const char* nom;
    std::optional<bool> ancienne;
    std::optional<bool> nouvelle;
    bool lu;
    std::optional<bool> nouvelleApres;
  };
  const Cas cas[] = {
      {"reprise (vrai)", true, std::nullopt, true, true},
      {"reprise (faux)", false, std::nullopt, false, false},
      {"la nouvelle l'emporte", true, false, false, false},
      {"rien de gardé", std::nullopt, std::nullopt, false, std::nullopt},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    reglages = std::make_shared<MagasinReglagesMemoire>();
    if (c.ancienne) reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, *c.ancienne);
    if (c.nouvelle) reglages->ecrireBooleen(DiffusionModel::cleSilence, *c.nouvelle);
    EXPECT_EQ(creer()->nEntendreQueLeRecepteur(), c.lu);
    EXPECT_EQ(reglages->lireBooleen(DiffusionModel::cleSilence), c.nouvelleApres);
  }
  reglages = std::make_shared<MagasinReglagesMemoire>();
  reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, true);
  creer()->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(creer()->nEntendreQueLeRecepteur()) << "l'ancienne clé n'est plus relue";
}

}  // namespace
}  // namespace ravlo
