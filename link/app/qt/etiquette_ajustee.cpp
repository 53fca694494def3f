// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/etiquette_ajustee.hpp"

#include <QEvent>
#include <QFontMetrics>
#include <QTextLayout>
#include <algorithm>

namespace ravlo {

QString texteAjuste(const QString& texte, const QFont& police, int largeur, int lignesMax) {
  if (largeur <= 0 || lignesMax <= 0) return texte;
  QTextLayout mise(texte, police);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  mise.setTextOption(option);
  QStringList lignes;
  mise.beginLayout();
  for (QTextLine ligne = mise.createLine(); ligne.isValid(); ligne = mise.createLine()) {
    ligne.setLineWidth(largeur);
    if (lignes.size() == lignesMax - 1) {
      // La dernière permise prend tout le reste, écourté s'il ne tient pas.
      const QString reste = texte.mid(ligne.textStart()).trimmed();
      lignes << QFontMetrics(police).elidedText(reste, Qt::ElideRight, largeur);
      break;
    }
    lignes << texte.mid(ligne.textStart(), ligne.textLength()).trimmed();
  }
  mise.endLayout();
  return lignes.join(u'\n');
}

EtiquetteAjustee::EtiquetteAjustee(int lignesMax, QWidget* parent)
    : QLabel(parent), lignesMax_(lignesMax) {
  setWordWrap(false);
  setTextFormat(Qt::PlainText);
  QSizePolicy politique(QSizePolicy::Preferred, QSizePolicy::Preferred);
  politique.setHeightForWidth(true);
  setSizePolicy(politique);
}

void EtiquetteAjustee::changerTexte(const QString& texte) {
  complet_ = texte;
  setAccessibleName(texte);
  ajuster();
  updateGeometry();
}

QSize EtiquetteAjustee::sizeHint() const {
  const QMargins m = contentsMargins();
  const int largeur = fontMetrics().horizontalAdvance(complet_) + m.left() + m.right();
  return {largeur, heightForWidth(largeur)};
}

QSize EtiquetteAjustee::minimumSizeHint() const {
  const QMargins m = contentsMargins();
  return {fontMetrics().horizontalAdvance(QStringLiteral("…")) + m.left() + m.right(),
          fontMetrics().height() + m.top() + m.bottom()};
}

int EtiquetteAjustee::heightForWidth(int largeur) const {
  const QMargins m = contentsMargins();
  const QString ajuste = texteAjuste(complet_, font(), largeur - m.left() - m.right(), lignesMax_);
  const auto lignes = static_cast<int>(std::max<qsizetype>(1, ajuste.count(u'\n') + 1));
  const QFontMetrics fm = fontMetrics();
  return fm.height() + (lignes - 1) * fm.lineSpacing() + m.top() + m.bottom();
}

void EtiquetteAjustee::resizeEvent(QResizeEvent* evenement) {
  QLabel::resizeEvent(evenement);
  ajuster();
}

void EtiquetteAjustee::changeEvent(QEvent* evenement) {
  QLabel::changeEvent(evenement);
  if (evenement->type() == QEvent::FontChange) ajuster();
}

void EtiquetteAjustee::ajuster() {
  const QString ajuste = texteAjuste(complet_, font(), contentsRect().width(), lignesMax_);
  setText(ajuste);
  // Passer à la ligne n'écourte rien : seul ce qui manque demande l'infobulle.
  const auto sansBlancs = [](const QString& t) {
    QString s;
    for (const QChar c : t)
      if (!c.isSpace()) s += c;
    return s;
  };
  setToolTip(sansBlancs(ajuste) == sansBlancs(complet_) ? QString() : complet_);
}

}  // namespace ravlo
