// SPDX-License-Identifier: MPL-2.0
// Les captures du README, tirées des vraies vues sur l'application en faux (tests/app), à
// l'échelle 2 et avec les textes français. Ce n'est pas un test : il vit près des images
// qu'il produit.
//   captures_link DOSSIER   panneau-{appairage,pret,envoi,fenetre,telephone}@2x.png,
//                           accueil-<page>@2x.png
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <cstdio>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/qt/accueil_link.hpp"
#include "link/app/qt/cadre_accueil.hpp"
#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/panneau_link.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/repli_sans_zone.hpp"
#include "plateforme/table_textes.hpp"
#include "protocol/messages/message_horloge.hpp"

namespace {

using namespace std::chrono_literals;

bool capturer(QWidget& fenetre, const QDir& dossier, const char* nom) {
  QTest::qWait(250);  // l'anneau et la mise en page finissent leur course
  QImage image(fenetre.size() * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  fenetre.render(&image);
  const QString chemin = dossier.filePath(QStringLiteral("%1@2x.png").arg(QLatin1String(nom)));
  if (!image.save(chemin, "PNG")) {
    std::fprintf(stderr, "écriture impossible : %s\n", qPrintable(chemin));
    return false;
  }
  return true;
}

const ravlo::ReglagesBureau bureau{[](ravlo::SujetReglages) { return true; },
                                   [](ravlo::SujetReglages) {}};

bool panneau(const QDir& dossier) {
  ravlo::banc::Application app;
  ravlo::PanneauLink p(app.modele, std::make_shared<ravlo::PlateformeAppEnregistreuse>(), *app.file,
                       bureau);
  app.navigateurs->dernier().jouerEtat({ravlo::EtatNavigateur::Cas::pret, {}});
  app.navigateurs->dernier().publier(
      {ravlo::banc::service("Salon"), ravlo::banc::service("Téléphone de Léa")});
  app.file->executer();
  p.ouvrirPres({});
  p.saisie().changerCode("48");
  app.chercheur().changerResultat({ravlo::ChercheurRavlo::Resultat::Cas::refuse, {}, {}});
  if (!capturer(p.cadre(), dossier, "panneau-appairage")) return false;

  app.chercheur().changerResultat({});
  app.appaire();
  if (!capturer(p.cadre(), dossier, "panneau-pret")) return false;

  app.envoyer();
  app.etatConnexion(ravlo::EtatConnexion::Cas::prete);
  static const std::vector<float> son(640, 0.3F);
  for (int i = 0; i < 8'300; ++i) {
    app.audio->livrer({son, 0, app.horloge.hoteNs()});
    // Le récepteur demande l'heure chaque seconde : il répond, donc il n'est pas muet.
    if (i % 100 == 0) {
      (void)app.connexions->derniere().livrer(
          *ravlo::Scelleur(ravlo::banc::cle(2))
               .sceller(ravlo::MessageHorloge::question(app.horloge.hoteNs()).encoder(),
                        ravlo::SorteEnveloppe::horloge));
    }
    app.file->avancer(10ms);
  }
  for (const float n : {0.2F, 0.45F, 0.7F, 0.55F, 0.85F, 0.6F, 0.4F}) p.saisie().ajouterNiveau(n);
  return capturer(p.cadre(), dossier, "panneau-envoi");
}

// Un bureau sans zone de notification : le panneau en fenêtre ordinaire, avec sa note.
bool fenetre(const QDir& dossier) {
  ravlo::banc::Application app;
  ravlo::PanneauLink p(app.modele, std::make_shared<ravlo::PlateformeAppEnregistreuse>(), *app.file,
                       bureau);
  app.navigateurs->dernier().jouerEtat({ravlo::EtatNavigateur::Cas::pret, {}});
  app.navigateurs->dernier().publier({ravlo::banc::service("Salon")});
  app.file->executer();
  ravlo::RepliSansZone repli(p, [] { return false; });
  repli.verifier();
  const bool fait = capturer(p.cadre(), dossier, "panneau-fenetre");
  p.cadre().hide();
  return fait;
}

// « Écouter sur un téléphone » allumé : le code QR, les adresses, et un téléphone relié.
bool telephone(const QDir& dossier) {
  ravlo::banc::Application app;
  ravlo::PanneauLink p(app.modele, std::make_shared<ravlo::PlateformeAppEnregistreuse>(), *app.file,
                       bureau);
  app.navigateurs->dernier().jouerEtat({ravlo::EtatNavigateur::Cas::pret, {}});
  app.navigateurs->dernier().publier({ravlo::banc::service("Salon")});
  app.file->executer();
  p.ouvrirPres({});
  app.modele->telephone().activer();
  app.accueils.back()->arriver({"iPhone — Safari", "fr-FR", {"192.168.1.23", 51'234}});
  app.file->executer();
  const bool fait = capturer(p.cadre(), dossier, "panneau-telephone");
  p.cadre().hide();
  return fait;
}

bool accueil(const QDir& dossier) {
  ravlo::banc::Application app(false);
  ravlo::AccueilLink a(
      app.modele, app.reglages, bureau,
      std::make_shared<ravlo::DemarrageAutoXdg>(QDir::tempPath().toStdString(), "ravlo-link"));
  a.montrer();
  if (!capturer(a.cadre(), dossier, "accueil-bienvenue")) return false;
  a.commencer();
  if (!capturer(a.cadre(), dossier, "accueil-verifications")) return false;
  app.navigateurs->dernier().jouerEtat(
      {ravlo::EtatNavigateur::Cas::attente,
       ravlo::ErreurReseau{ravlo::DomaineErreurReseau::dnssd,
                           ravlo::ErreurReseau::dnssdNonAutorise}});
  app.file->executer();
  if (!capturer(a.cadre(), dossier, "accueil-refus")) return false;
  app.navigateurs->dernier().jouerEtat({ravlo::EtatNavigateur::Cas::pret, {}});
  app.file->avancer(ravlo::ModeleLink::dureeSonde);
  const bool fait = capturer(a.cadre(), dossier, "accueil-pret");
  a.cadre().hide();
  return fait;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage : captures_link DOSSIER\n");
    return 2;
  }
  // Le français du produit, quelle que soit la langue de qui lance le programme.
  qputenv("LC_ALL", "fr_FR.UTF-8");
  ravlo::lierTableTextes(RAVLO_LOCALES);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QApplication application(argc, argv);
  ravlo::chargerPolices();
  const QDir dossier(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(dossier.path())) return 1;
  return panneau(dossier) && fenetre(dossier) && telephone(dossier) && accueil(dossier) ? 0 : 1;
}
