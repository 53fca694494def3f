#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/interrupteur.hpp"

namespace ravlo {
namespace {

// Ce qu'un lecteur d'écran annonce ; le clic demande, seul le propriétaire change l'état.
TEST(Vues, LInterrupteurEtLaCarteSeDisentEtSuiventLeProprietaire) {
  Interrupteur bascule(QStringLiteral("N'entendre que le récepteur"));
  CarteAppareil carte(QStringLiteral("Téléphone de Léa"));
  bascule.show();
  carte.show();
  QAccessibleInterface* a11yBascule = QAccessible::queryAccessibleInterface(&bascule);
  QAccessibleInterface* a11yCarte = QAccessible::queryAccessibleInterface(&carte);
  ASSERT_TRUE(a11yBascule && a11yCarte);
  EXPECT_EQ(a11yBascule->role(), QAccessible::CheckBox);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("désactivé"));
  EXPECT_EQ(a11yCarte->text(QAccessible::Name), QStringLiteral("Téléphone de Léa"));

  const QSignalSpy basculer(&bascule, &Interrupteur::basculer);
  const QSignalSpy choisir(&carte, &CarteAppareil::choisir);
  QTest::mouseClick(&bascule, Qt::LeftButton);
  QTest::mouseClick(&carte, Qt::LeftButton);
  EXPECT_EQ(basculer.count() + choisir.count(), 2);
  EXPECT_FALSE(bascule.actif());
  EXPECT_FALSE(a11yCarte->state().selected);

  bascule.changerActif(true);
  carte.changerChoisi(true);
  EXPECT_EQ(a11yBascule->text(QAccessible::Value), QStringLiteral("activé"));
  EXPECT_TRUE(a11yBascule->state().checked);
  EXPECT_TRUE(a11yCarte->state().selected);
}

}  // namespace
}  // namespace ravlo
