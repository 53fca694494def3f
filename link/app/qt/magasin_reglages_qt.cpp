// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/magasin_reglages_qt.hpp"

#include <QByteArray>

namespace ravlo {

namespace {

QString cleQt(std::string_view cle) {
  return QString::fromUtf8(cle.data(), static_cast<qsizetype>(cle.size()));
}

}  // namespace

MagasinReglagesQt::MagasinReglagesQt()
    : reglages_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ravlo"),
                QStringLiteral("ravlo-link")) {}

MagasinReglagesQt::MagasinReglagesQt(const QString& fichier)
    : reglages_(fichier, QSettings::IniFormat) {}

std::optional<bool> MagasinReglagesQt::lireBooleen(std::string_view cle) const {
  const QVariant v = reglages_.value(cleQt(cle));
  if (v.typeId() == QMetaType::Bool) return v.toBool();
  // Le format INI relit un booléen comme le texte qu'il a écrit.
  if (v.typeId() == QMetaType::QString) {
    const QString t = v.toString().trimmed().toLower();
    if (t == QLatin1String("true")) return true;
    if (t == QLatin1String("false")) return false;
  }
  return std::nullopt;
}

void MagasinReglagesQt::ecrireBooleen(std::string_view cle, bool valeur) {
  reglages_.setValue(cleQt(cle), valeur);
  reglages_.sync();
}

std::optional<Octets> MagasinReglagesQt::lireOctets(std::string_view cle) const {
  const QVariant v = reglages_.value(cleQt(cle));
  if (v.typeId() != QMetaType::QByteArray) return std::nullopt;
  const QByteArray b = v.toByteArray();
  return Octets(b.begin(), b.end());
}

void MagasinReglagesQt::ecrireOctets(std::string_view cle, const Octets& valeur) {
  reglages_.setValue(cleQt(cle), QByteArray(reinterpret_cast<const char*>(valeur.data()),
                                            static_cast<qsizetype>(valeur.size())));
  reglages_.sync();
}

}  // namespace ravlo
