// SPDX-License-Identifier: MPL-2.0
// Dessine le badge en PNG avec le code de l'application :
//   dessiner_badges --icones DOSSIER TAILLE...   DOSSIER/<t>x<t>/apps/ravlo-link.png (envoi)
//   dessiner_badges --captures DOSSIER           icone-<état>@2x.png et @8x.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <utility>

#include "link/app/qt/badge_link.hpp"

namespace {

bool ecrire(const QImage& image, const QString& chemin) {
  if (!QDir().mkpath(QFileInfo(chemin).absolutePath()) || !image.save(chemin, "PNG")) {
    std::fprintf(stderr, "écriture impossible : %s\n", qPrintable(chemin));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const QGuiApplication application(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() >= 3 && args.at(1) == QLatin1String("--icones")) {
    const QDir dossier(args.at(2));
    for (qsizetype i = 3; i < args.size(); ++i) {
      bool nombre = false;
      const int cote = args.at(i).toInt(&nombre);
      if (!nombre || cote <= 0) return 2;
      const QString chemin =
          dossier.filePath(QStringLiteral("%1x%1/apps/ravlo-link.png").arg(cote));
      if (!ecrire(ravlo::imageBadgeCarree(ravlo::EtatBadge::envoi, cote), chemin)) return 1;
    }
    return 0;
  }
  if (args.size() == 3 && args.at(1) == QLatin1String("--captures")) {
    const QDir dossier(args.at(2));
    const std::pair<ravlo::EtatBadge, const char*> etats[] = {
        {ravlo::EtatBadge::repos, "repos"},
        {ravlo::EtatBadge::envoi, "envoi"},
        {ravlo::EtatBadge::probleme, "probleme"}};
    for (const auto& [etat, nom] : etats) {
      for (const int echelle : {2, 8}) {
        const QString fichier =
            QStringLiteral("icone-%1@%2x.png").arg(QLatin1String(nom)).arg(echelle);
        if (!ecrire(ravlo::imageBadge(etat, echelle), dossier.filePath(fichier))) return 1;
      }
    }
    return 0;
  }
  std::fprintf(stderr, "usage : dessiner_badges --icones DOSSIER TAILLE... | --captures DOSSIER\n");
  return 2;
}
