// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/panneau_link.hpp"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/saisie_code.hpp"
#include "link/app/qt/vue_panneau.hpp"

namespace ravlo {
namespace {

// Le code tapé est filtré ; pendant l'appairage le bouton attend et Entrée ne relance pas.
TEST(PanneauLink, LeCodeTapePuisLAppairageEnCours) {
  banc::Application app;
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{[](SujetReglages) { return true; }, [](SujetReglages) {}});
  VuePanneau& vue = panneau.vue();
  app.chercheur().demarrer();
  app.navigateurs->dernier().publier({banc::service("Salon")});
  app.file->executer();
  BoutonLink* bouton = vue.boutonAppairer();
  QLineEdit* champ = vue.saisieCode()->champ();
  QTest::keyClicks(champ, QStringLiteral("48x215"));
  EXPECT_EQ(champ->text(), QStringLiteral("4821")) << "les chiffres seuls, les 4 premiers";
  EXPECT_TRUE(bouton->isEnabled());

  QTest::keyClick(champ, Qt::Key_Return);
  app.file->executer();
  ASSERT_TRUE(app.chercheur().appairageEnCours());
  const std::size_t connexions = app.connexions->creees.size();
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairage…"));
  EXPECT_EQ(champ->text(), QString()) << "le code part, le champ se vide";
  QTest::keyClicks(champ, QStringLiteral("4821"));
  EXPECT_FALSE(bouton->isEnabled()) << "à 0,45 pendant l'appairage";
  QTest::keyClick(champ, Qt::Key_Return);
  app.file->executer();
  EXPECT_EQ(app.connexions->creees.size(), connexions) << "Entrée ignorée";
  // Le dialogue abandonne au bout de 8 s : rien ne reste suspendu à la fin du test.
  app.file->avancer(std::chrono::seconds(9));
  EXPECT_FALSE(app.chercheur().appairageEnCours());
  EXPECT_EQ(bouton->text(), QStringLiteral("Appairer"));
}

}  // namespace
}  // namespace ravlo
