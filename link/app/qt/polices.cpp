// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/polices.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <array>

namespace ravlo {

namespace {

struct DescriptionFace {
  const char* fichier;
  const char* famille;
  QFont::Weight graisse;
};

constexpr std::array<DescriptionFace, 7> faces{{
    {"Archivo-Bold.ttf", "Archivo", QFont::Bold},
    {"Archivo-SemiBold.ttf", "Archivo", QFont::DemiBold},
    {"InstrumentSans-Regular.ttf", "Instrument Sans", QFont::Normal},
    {"InstrumentSans-Medium.ttf", "Instrument Sans", QFont::Medium},
    {"InstrumentSans-SemiBold.ttf", "Instrument Sans", QFont::DemiBold},
    {"IBMPlexMono-Medium.ttf", "IBM Plex Mono", QFont::Medium},
    {"IBMPlexMono-SemiBold.ttf", "IBM Plex Mono", QFont::DemiBold},
}};

}  // namespace

QStringList dossiersPolices() {
  QStringList dossiers;
  if (QCoreApplication::instance() != nullptr) {
    dossiers << QDir(QCoreApplication::applicationDirPath())
                    .absoluteFilePath(QStringLiteral("../share/ravlo-link/polices"));
  }
  dossiers << QStringLiteral(RAVLO_DOSSIER_POLICES) << QStringLiteral(RAVLO_POLICES_SOURCES);
  return dossiers;
}

int chargerPolices(const QStringList& dossiers) {
  for (const QString& chemin : dossiers) {
    const QDir dossier(chemin);
    int chargees = 0;
    for (const DescriptionFace& face : faces) {
      const QString fichier = dossier.filePath(QString::fromLatin1(face.fichier));
      if (QFile::exists(fichier) && QFontDatabase::addApplicationFont(fichier) >= 0) ++chargees;
    }
    if (chargees > 0) return chargees;
  }
  return 0;
}

QFont police(Face face, double echelle) {
  const DescriptionFace& d = faces.at(static_cast<std::size_t>(face));
  QFont f(QString::fromLatin1(d.famille));
  f.setWeight(d.graisse);
  const double base = QGuiApplication::font().pointSizeF();
  f.setPointSizeF((base > 0 ? base : 10.0) * echelle);
  return f;
}

}  // namespace ravlo
