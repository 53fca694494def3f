// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/etiquette.hpp"

#include "link/app/qt/couleurs_link.hpp"
#include "link/app/qt/polices.hpp"

namespace ravlo {

Etiquette::Etiquette(const QString& texte, QWidget* parent) : QLabel(texte.toUpper(), parent) {
  QFont f = police(Face::plexMonoSemiBold, 0.75);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, couleurs::texteDoux());
  setPalette(pal);
}

QLabel* libelle(const QFont& face, const QColor& couleur, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setFont(face);
  l->setWordWrap(true);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, couleur);
  l->setPalette(pal);
  return l;
}

}  // namespace ravlo
