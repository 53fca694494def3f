// SPDX-License-Identifier: MPL-2.0
// ravlo-link : l'application de la zone de notification. L'icône suit le modèle de
// l'application, son clic ouvre le panneau, et la fenêtre d'accueil s'ouvre au premier
// lancement. Un second lancement rend la main au premier, qui ouvre son panneau.
#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <memory>
#include <thread>

#include "link/app/avis_fin_envoi.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/qt/a_propos.hpp"
#include "link/app/qt/accueil_link.hpp"
#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/icone_notification.hpp"
#include "link/app/qt/instance_unique.hpp"
#include "link/app/qt/magasin_reglages_qt.hpp"
#include "link/app/qt/notifications_dbus.hpp"
#include "link/app/qt/panneau_link.hpp"
#include "link/app/qt/plateforme_app_qt.hpp"
#include "link/app/qt/polices.hpp"
#include "link/app/qt/principal_qt.hpp"
#include "link/app/qt/repli_sans_zone.hpp"
#include "link/app/qt/textes_qt.hpp"
#include "plateforme/avahi/navigateur_avahi.hpp"
#include "plateforme/pipewire/fabrique_capture.hpp"
#include "plateforme/pulseaudio/silence_pulse.hpp"
#include "plateforme/signaux_fin.hpp"
#include "plateforme/systeme.hpp"
#include "plateforme/textes_programme.hpp"

namespace {

ravlo::EtatBadge badgeDe(ravlo::EtatIcone etat) {
  switch (etat) {
    case ravlo::EtatIcone::repos:
      return ravlo::EtatBadge::repos;
    case ravlo::EtatIcone::envoi:
      return ravlo::EtatBadge::envoi;
    case ravlo::EtatIcone::probleme:
      return ravlo::EtatBadge::probleme;
  }
  return ravlo::EtatBadge::repos;
}

}  // namespace

int main(int argc, char** argv) {
  // Avant tout fil : les signaux de fin ne tuent plus, ils se lisent (et tous les fils
  // héritent ce masque) ; la table de textes se lie une fois.
  ravlo::SignauxFin::bloquer();
  ravlo::preparerTextes();
  // Les clés d'un appairage ou d'un flux ne partent dans aucun vidage de mémoire.
  (void)ravlo::interdireVidagesMemoire();
  // Le son qu'un programme tué a laissé coupé revient dès le lancement, sans retenir l'icône.
  std::jthread rendreLeSon(
      [] { ravlo::SilencePulse::rendreLeSonLaisse(ravlo::repertoireEtatParDefaut()); });
  QApplication application(argc, argv);
  // Le titre que l'icône de notification donne au bureau (StatusNotifierItem) est ce nom.
  QApplication::setApplicationName(QStringLiteral("Ravlo Link"));
  QApplication::setApplicationDisplayName(QStringLiteral("Ravlo Link"));
  QApplication::setApplicationVersion(ravlo::versionLink());
  QApplication::setDesktopFileName(QStringLiteral("ravlo-link"));
  // Une application de la zone de notification vit sans fenêtre ouverte.
  QApplication::setQuitOnLastWindowClosed(false);
  // Avant le modèle : une instance suivante sort sans chercher ni capter.
  ravlo::InstanceUnique instance(ravlo::InstanceUnique::dossierSysteme());
  if (!instance.premiere()) return instance.passerLaMain() ? 0 : 1;
  ravlo::chargerPolices();

  ravlo::PrincipalQt principal;
  // SIGTERM, SIGINT, SIGHUP : on quitte comme par le menu, ce qui arrête l'envoi et rend le son.
  const ravlo::GuetteurSignauxFin signaux(
      [&principal](int) { principal.poster([] { QCoreApplication::quit(); }); });
  auto reglages = std::make_shared<ravlo::MagasinReglagesQt>();
  const auto modele = ravlo::ModeleLink::creer(ravlo::ModeleLink::dependancesSysteme(
      principal, std::make_shared<ravlo::FabriqueNavigateursAvahi>(),
      [] { return ravlo::captureDuServeur(); }, reglages));
  const auto bureau = ravlo::ReglagesBureau::systeme();
  const auto plateforme = std::make_shared<ravlo::PlateformeAppQt>();
  ravlo::PanneauLink panneau(modele, plateforme, principal, bureau);
  const ravlo::AvisFinEnvoi avis(modele, std::make_shared<ravlo::NotificationsDbus>());

  ravlo::IconeNotification icone;
  const auto redessiner = [&] {
    icone.changerEtat(badgeDe(ravlo::etatIcone(*modele)));
    icone.changerStatut(
        ravlo::texteQt(ravlo::statutEnvoi(modele->diffusion(), ravlo::localeCourante())));
  };
  const ravlo::Abonnement suiviModele = modele->observer(redessiner);
  const ravlo::Abonnement suiviDiffusion = modele->diffusion().observer(redessiner);
  redessiner();
  const auto ancre = [&] { return ravlo::ancrePanneau(icone.geometrie(), QCursor::pos()); };
  QObject::connect(&icone, &ravlo::IconeNotification::ouvrir, &panneau,
                   [&] { panneau.basculerPres(ancre()); });
  QObject::connect(&icone, &ravlo::IconeNotification::aPropos, &application,
                   [] { ravlo::montrerAPropos(); });
  QObject::connect(&icone, &ravlo::IconeNotification::quitter, &application,
                   [&] { plateforme->quitter(); });
  const auto demarrage = std::make_shared<ravlo::DemarrageAutoXdg>(
      ravlo::DemarrageAutoXdg::dossierConfigUtilisateur(), "ravlo-link");
  QAction* caseDemarrage = icone.ajouterCase(ravlo::texteQt(
      ravlo::texte("Lancer Ravlo Link à l'ouverture de session", ravlo::localeCourante())));
  caseDemarrage->setChecked(demarrage->actif());
  QObject::connect(caseDemarrage, &QAction::triggered, &application, [&] {
    // Réussi ou non, la case montre ce que le disque dit.
    [[maybe_unused]] const std::error_code erreur = demarrage->changer(!demarrage->actif());
    caseDemarrage->setChecked(demarrage->actif());
  });
  icone.montrer();
  ravlo::RepliSansZone repli(panneau, [] { return QSystemTrayIcon::isSystemTrayAvailable(); });

  // Une seule fenêtre d'accueil, au premier lancement ; elle se défait une fois fermée.
  std::unique_ptr<ravlo::AccueilLink> accueil;
  if (ravlo::AccueilLink::du(*reglages)) {
    accueil = std::make_unique<ravlo::AccueilLink>(modele, reglages, bureau, demarrage);
    QObject::connect(accueil.get(), &ravlo::AccueilLink::fermee, &application, [&] {
      // Sa dernière page a pu changer le démarrage à l'ouverture de session.
      caseDemarrage->setChecked(demarrage->actif());
      QTimer::singleShot(0, &application, [&] { accueil.reset(); });
    });
    accueil->montrer();
  }
  // Un second lancement ramène l'accueil s'il est ouvert, sinon le panneau.
  QObject::connect(&instance, &ravlo::InstanceUnique::ouvrir, &panneau, [&] {
    if (accueil) {
      accueil->montrer();
    } else {
      panneau.rappeler(ancre());
    }
  });
  // L'accueil passe d'abord ; sans zone, le panneau s'ouvre en fenêtre après sa fermeture.
  if (accueil) {
    QObject::connect(accueil.get(), &ravlo::AccueilLink::fermee, &repli, [&] { repli.demarrer(); });
  } else {
    repli.demarrer();
  }

  const int statut = QApplication::exec();
  accueil.reset();
  modele->diffusion().arreter();
  return statut;
}
