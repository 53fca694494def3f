#include "link/app/qt/panneau_link.hpp"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "app/banc_app.hpp"
#include "link/app/qt/alerte.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/vue_panneau.hpp"

namespace ravlo {
namespace {

// Le panneau sur l'application entière en faux ; les réglages du bureau sont joués.
struct BancPanneau {
  banc::Application app;
  bool outil = true;
  std::vector<SujetReglages> ouverts;
  PanneauLink panneau{app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{[this](SujetReglages) { return outil; },
                                     [this](SujetReglages s) { ouverts.push_back(s); }}};
  VuePanneau& vue = panneau.vue();

  void lister(const std::vector<std::string>& noms) {
    std::vector<ResultatService> r;
    for (const auto& n : noms) r.push_back(banc::service(n));
    app.navigateurs->dernier().publier(r);
    app.file->executer();
  }
  std::vector<bool> choix() const {
    std::vector<bool> c;
    for (const CarteAppareil* carte : vue.cartes()) c.push_back(carte->choisi());
    return c;
  }
};

TEST(PanneauLink, LaSelectionSuitLaListeSansClic) {
  BancPanneau b;
  b.app.chercheur().demarrer();
  b.lister({"Salon"});
  EXPECT_EQ(b.choix(), std::vector<bool>({true})) << "seul listé : choisi sans clic";
  b.lister({"Cuisine", "Salon"});
  EXPECT_EQ(b.choix(), std::vector<bool>({false, true})) << "le choix reste";
  QTest::mouseClick(b.vue.cartes().front(), Qt::LeftButton);
  EXPECT_EQ(b.choix(), std::vector<bool>({true, false}));
  b.lister({"Bureau", "Salon"});
  EXPECT_EQ(b.choix(), std::vector<bool>({true, false})) << "disparu : le premier restant";
  b.lister({});
  EXPECT_EQ(b.panneau.saisie().selection(), std::nullopt);
  b.vue.saisieCode()->changerCode(QStringLiteral("1234"));
  EXPECT_FALSE(b.vue.boutonAppairer()->isEnabled()) << "sans récepteur : à 0,45, inerte";
}

TEST(PanneauLink, PendantLAppairageLeBoutonAttendEtEntreeNeRelancePas) {
  BancPanneau b;
  b.app.chercheur().demarrer();
  b.lister({"Salon"});
  BoutonLink* bouton = b.vue.boutonAppairer();
  QLineEdit* champ = b.vue.saisieCode()->champ();
  QTest::keyClicks(champ, QStringLiteral("48x21"));
  EXPECT_EQ(b.panneau.saisie().code(), "4821");
  EXPECT_TRUE(bouton->isEnabled());
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairer"));

  QTest::keyClick(champ, Qt::Key_Return);
  b.app.file->executer();
  ASSERT_TRUE(b.app.chercheur().appairageEnCours());
  const std::size_t connexions = b.app.connexions->creees.size();
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairage…"));
  EXPECT_EQ(champ->text(), QString()) << "le code part, le champ se vide";
  QTest::keyClicks(champ, QStringLiteral("4821"));
  EXPECT_FALSE(bouton->isEnabled()) << "à 0,45 pendant l'appairage";
  QTest::keyClick(champ, Qt::Key_Return);
  b.app.file->executer();
  EXPECT_EQ(b.app.connexions->creees.size(), connexions) << "Entrée ignorée";
  EXPECT_EQ(b.panneau.saisie().code(), "4821") << "le code retapé reste";
  // Le dialogue abandonne au bout de 8 s : rien ne reste suspendu à la fin du test.
  b.app.file->avancer(std::chrono::seconds(9));
  EXPECT_FALSE(b.app.chercheur().appairageEnCours());
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairer"));
}

TEST(PanneauLink, LeBoutonDesReglagesSelonLeMessageEtLOutil) {
  struct Cas {
    EtatNavigateur::Cas reseau;
    bool outil;
    bool offert;
  };
  for (const Cas c : {Cas{EtatNavigateur::Cas::attente, true, true},
                      Cas{EtatNavigateur::Cas::attente, false, false},
                      Cas{EtatNavigateur::Cas::echec, true, false}}) {
    BancPanneau b;
    b.outil = c.outil;
    b.app.reseau(c.reseau);
    Alerte* alerte = b.vue.alerte();
    EXPECT_FALSE(alerte->isHidden());
    EXPECT_EQ(alerte->offreReglages(), c.offert) << static_cast<int>(c.reseau) << c.outil;
    if (c.offert) {
      emit alerte->ouvrirReglages();
      EXPECT_EQ(b.ouverts, std::vector<SujetReglages>{SujetReglages::reseau});
    }
  }
}

}  // namespace
}  // namespace ravlo
