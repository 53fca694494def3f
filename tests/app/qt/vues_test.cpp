#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "link/app/qt/alerte.hpp"
#include "link/app/qt/bouton_link.hpp"
#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/saisie_code.hpp"

namespace ravlo {
namespace {

// Le filtre que le panneau injecte : les chiffres seulement, les 4 premiers.
QString quatreChiffres(const QString& texte) {
  QString garde;
  for (const QChar c : texte) {
    if (c.isDigit() && garde.size() < 4) garde += c;
  }
  return garde;
}

TEST(SaisieCode, LeFiltreInjecteReecritLeChampEtEntreeValide) {
  SaisieCode saisie;
  saisie.show();
  QLineEdit* champ = saisie.champ();
  EXPECT_EQ(champ->accessibleName(), QStringLiteral("Code à 4 chiffres affiché sur l'iPhone"));

  QTest::keyClicks(champ, QStringLiteral("1a"));
  EXPECT_EQ(saisie.code(), QStringLiteral("1a")) << "sans filtre, le texte tel que tapé";
  saisie.changerFiltre(quatreChiffres);
  EXPECT_EQ(saisie.code(), QStringLiteral("1"));

  QTest::keyClicks(champ, QStringLiteral("3"));
  champ->setCursorPosition(1);
  QTest::keyClicks(champ, QStringLiteral("x"));
  EXPECT_EQ(saisie.code(), QStringLiteral("13")) << "une lettre entre deux chiffres disparaît";

  saisie.changerCode({});
  QApplication::clipboard()->setText(QStringLiteral("123456"));
  champ->paste();
  EXPECT_EQ(saisie.code(), QStringLiteral("1234"));
  EXPECT_EQ(champ->text(), QStringLiteral("1234"));

  const QSignalSpy valider(&saisie, &SaisieCode::valider);
  QTest::keyClick(champ, Qt::Key_Return);
  EXPECT_EQ(valider.count(), 1);
}

TEST(Alerte, LeBoutonDesReglagesNApparaitQueSurDemande) {
  for (const bool avecReglages : {false, true}) {
    Alerte alerte;
    alerte.montrerMessage(QStringLiteral("Code refusé"), QStringLiteral("Vérifie."), avecReglages);
    alerte.show();
    auto* bouton = alerte.findChild<QPushButton*>();
    ASSERT_NE(bouton, nullptr);
    EXPECT_EQ(bouton->isVisible(), avecReglages);
    if (avecReglages) {
      EXPECT_EQ(bouton->text(), QStringLiteral("Ouvrir les Réglages"));
      const QSignalSpy ouvrir(&alerte, &Alerte::ouvrirReglages);
      QTest::mouseClick(bouton, Qt::LeftButton);
      EXPECT_EQ(ouvrir.count(), 1);
    }
  }
}

// Le pixel à gauche du bouton, hors du libellé, rendu sur fond transparent.
QColor pixelDuBouton(BoutonLink& bouton) {
  QImage image(bouton.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  bouton.render(&image, {}, {}, QWidget::DrawChildren);
  return image.convertToFormat(QImage::Format_ARGB32).pixelColor(8, bouton.height() / 2);
}

TEST(BoutonLink, DesactiveA045EtEnfonceDessineAutrement) {
  for (const auto sorte : {BoutonLink::Sorte::degrade, BoutonLink::Sorte::plein}) {
    BoutonLink bouton(QStringLiteral("Appairer"), sorte);
    bouton.resize(200, 38);
    const QColor repos = pixelDuBouton(bouton);
    EXPECT_EQ(repos.alpha(), 255);
    bouton.setDown(true);
    EXPECT_NE(pixelDuBouton(bouton).rgb(), repos.rgb()) << "l'état enfoncé se voit";
    bouton.setDown(false);
    bouton.setEnabled(false);
    EXPECT_NEAR(pixelDuBouton(bouton).alpha(), 115, 2) << "0,45 × 255";

    const QSignalSpy clic(&bouton, &QAbstractButton::clicked);
    QTest::mouseClick(&bouton, Qt::LeftButton);
    EXPECT_EQ(clic.count(), 0);
  }
}

TEST(Interrupteur, ValeurAccessibleEtBasculeParLeProprietaire) {
  Interrupteur bascule(QStringLiteral("N'entendre que l'iPhone"));
  bascule.show();
  QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(&bascule);
  ASSERT_NE(a11y, nullptr);
  EXPECT_EQ(a11y->role(), QAccessible::CheckBox);
  EXPECT_EQ(a11y->text(QAccessible::Value), QStringLiteral("désactivé"));

  const QSignalSpy basculer(&bascule, &Interrupteur::basculer);
  QTest::mouseClick(&bascule, Qt::LeftButton);
  EXPECT_EQ(basculer.count(), 1);
  EXPECT_FALSE(bascule.actif()) << "seul le propriétaire change l'état";

  bascule.changerActif(true);
  EXPECT_EQ(a11y->text(QAccessible::Value), QStringLiteral("activé"));
  EXPECT_TRUE(a11y->state().checked);
}

TEST(CarteAppareil, LeChoixVientDuProprietaireEtSeDitSelectionne) {
  CarteAppareil carte(QStringLiteral("iPhone de Léa"));
  carte.show();
  QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(&carte);
  ASSERT_NE(a11y, nullptr);
  EXPECT_EQ(a11y->text(QAccessible::Name), QStringLiteral("iPhone de Léa"));
  const QSignalSpy choisir(&carte, &CarteAppareil::choisir);
  QTest::mouseClick(&carte, Qt::LeftButton);
  EXPECT_EQ(choisir.count(), 1);
  EXPECT_FALSE(a11y->state().selected);
  carte.changerChoisi(true);
  EXPECT_TRUE(a11y->state().selected);
}

}  // namespace
}  // namespace ravlo
