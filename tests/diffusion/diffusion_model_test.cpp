// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/diffusion_model.hpp"

#include <gtest/gtest.h>

#include "diffusion/recepteur_en_face.hpp"
#include "faux/capture_fausse.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/magasin_reglages_memoire.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

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
    modele->demarrer(PointReseau{"127.0.0.1", 50'000}, essai::EnFace(0).liaison);
    file->executer();
  }
};

// Ce que fait la surveillance de la capture, relevé à chaque demi-seconde pendant 12 s : une
// capture qui se tait est relancée tant que dure l'envoi, après 2 s sans trame puis de plus en
// plus rarement ; refusée par le serveur, aussitôt puis après 0,5, 1, 2 et 4 s. Muette dès un
// refus ou après deux relances sans effet, elle ne l'est plus dès qu'elle relivre.
TEST_F(ModeleEnDiffusion, CaptureRelanceeTantQueDureLEnvoiEtRevenueSeule) {
  struct Cas {
    const char* nom;
    std::vector<int> livraisons;  // demi-secondes où une trame arrive
    std::pair<int, int> refus;    // demi-secondes où le serveur refuse les captures [de, à[
    int panne;                    // demi-seconde où la capture se dit en panne, -1 : jamais
    std::vector<std::pair<int, std::int64_t>> relances;  // (demi-seconde, capturesRelancees)
    std::vector<std::pair<int, bool>> muette;            // (demi-seconde, captureMuette)
  };
  const std::vector<Cas> cas{
      {"jamais rien", {}, {}, -1, {{4, 1}, {8, 2}, {12, 3}, {16, 4}, {24, 5}}, {{12, true}}},
      {"une trame repousse", {3}, {}, -1, {{7, 1}, {11, 2}, {15, 3}, {19, 4}}, {{15, true}}},
      {"relivre", {5, 10, 15}, {}, -1, {{4, 1}, {9, 2}, {14, 3}, {19, 4}, {23, 5}}, {}},
      {"refusée", {}, {1, 99}, -1, {{4, 1}, {5, 2}, {7, 3}, {11, 4}, {19, 5}}, {{4, true}}},
      // En panne : relancée sans attendre.
      {"en panne", {1, 2, 3}, {}, 3, {{3, 1}, {7, 2}, {11, 3}, {15, 4}, {23, 5}}, {{11, true}}},
      // Serveur de son arrêté à 1,5 s et relancé à 5 s : la relance de 9 s le retrouve.
      {"revenu",
       {1, 2, 3, 19, 20, 21, 22, 23, 24},
       {3, 10},
       3,
       {{3, 1}, {4, 2}, {6, 3}, {10, 4}, {18, 5}},
       {{3, true}, {19, false}}},
  };
  static const std::vector<float> son(640, 0.25F);

  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    audio->script.demarrer.reset();
    modele = creer();
    demarrer();
    std::vector<std::pair<int, std::int64_t>> relances;
    std::vector<std::pair<int, bool>> muette;
    for (int demi = 1; demi <= 24; ++demi) {
      if (std::ranges::find(c.livraisons, demi) != c.livraisons.end())
        audio->livrer({son, 0, horloge.hoteNs()});
      audio->script.demarrer.reset();
      if (demi >= c.refus.first && demi < c.refus.second)
        audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -6};
      // Lien au serveur de son coupé.
      if (demi == c.panne)
        audio->tomberEnPanne(ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11});
      const auto avant = modele->capturesRelancees();
      const bool etaitMuette = modele->captureMuette();
      file->avancer(500ms);
      if (modele->capturesRelancees() != avant) {
        relances.emplace_back(demi, modele->capturesRelancees());
        audio->tomberEnPanne(std::nullopt);  // la capture neuve tourne
      }
      if (modele->captureMuette() != etaitMuette) muette.emplace_back(demi, !etaitMuette);
    }
    EXPECT_EQ(relances, c.relances);
    EXPECT_EQ(muette, c.muette);
    EXPECT_TRUE(modele->enDiffusion()) << "l'envoi continue";
    modele->arreter();
  }
}

// Le choix de taire l'ordinateur : retenu dans les réglages, appliqué aussitôt à la capture en
// cours, son refus dit tant qu'une capture tourne. Gardé sous la clé des versions précédentes,
// il passe une fois sous la nouvelle ; ensuite l'ancienne clé ne décide plus de rien.
TEST_F(ModeleEnDiffusion, SilenceRetenuAppliqueEtReprisDeLAncienneCle) {
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

  using Lu = std::optional<bool>;
  // (ancienne clé, nouvelle clé) → lu, nouvelle clé après
  for (const auto& [ancienne, nouvelle, lu, apres] :
       std::vector<std::tuple<Lu, Lu, bool, Lu>>{{true, {}, true, true},
                                                 {false, {}, false, false},
                                                 {true, false, false, false},
                                                 {{}, {}, false, {}}}) {
    reglages = std::make_shared<MagasinReglagesMemoire>();
    if (ancienne) reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, *ancienne);
    if (nouvelle) reglages->ecrireBooleen(DiffusionModel::cleSilence, *nouvelle);
    EXPECT_EQ(creer()->nEntendreQueLeRecepteur(), lu);
    EXPECT_EQ(reglages->lireBooleen(DiffusionModel::cleSilence), apres);
  }
  reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, true);
  creer()->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(creer()->nEntendreQueLeRecepteur()) << "l'ancienne clé n'est plus relue";
}

}  // namespace
}  // namespace ravlo
