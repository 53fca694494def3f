// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/accessibilite_link.hpp"

#include <QAbstractButton>
#include <QAccessibleWidget>

#include "link/app/qt/carte_appareil.hpp"
#include "link/app/qt/interrupteur.hpp"
#include "link/app/qt/textes_qt.hpp"

namespace ravlo {

namespace {

// Un bouton dessiné : se presse comme un bouton, avec le rôle et l'état de ce qu'il figure.
class AccessibleBoutonDessine final : public QAccessibleWidget {
 public:
  AccessibleBoutonDessine(QAbstractButton* bouton, QAccessible::Role role)
      : QAccessibleWidget(bouton, role) {}

  [[nodiscard]] QAccessible::State state() const override {
    QAccessible::State etat = QAccessibleWidget::state();
    if (const auto* i = qobject_cast<const Interrupteur*>(widget())) {
      etat.checkable = true;
      etat.checked = i->actif();
    } else if (const auto* c = qobject_cast<const CarteAppareil*>(widget())) {
      etat.selectable = true;
      etat.selected = c->choisi();
    }
    return etat;
  }

  [[nodiscard]] QString text(QAccessible::Text t) const override {
    if (const auto* i = qobject_cast<const Interrupteur*>(widget());
        i != nullptr && t == QAccessible::Value) {
      return i->actif() ? texteQt(texte("activé", localeCourante()))
                        : texteQt(texte("désactivé", localeCourante()));
    }
    return QAccessibleWidget::text(t);
  }

  [[nodiscard]] QStringList actionNames() const override {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action == pressAction()) {
      static_cast<QAbstractButton*>(widget())->click();  // NOLINT: construit sur un bouton
      return;
    }
    QAccessibleWidget::doAction(action);
  }
};

QAccessibleInterface* fabrique(const QString& classe, QObject* objet) {
  if (classe == QLatin1String(Interrupteur::staticMetaObject.className())) {
    return new AccessibleBoutonDessine(static_cast<Interrupteur*>(objet), QAccessible::CheckBox);
  }
  if (classe == QLatin1String(CarteAppareil::staticMetaObject.className())) {
    return new AccessibleBoutonDessine(static_cast<CarteAppareil*>(objet), QAccessible::Button);
  }
  return nullptr;
}

}  // namespace

void installerAccessibiliteLink() {
  static const bool installee = [] {
    QAccessible::installFactory(fabrique);
    return true;
  }();
  (void)installee;
}

}  // namespace ravlo
