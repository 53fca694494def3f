// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <memory>

#include "link/app/modele_link.hpp"
#include "link/app/plateforme_app.hpp"
#include "link/app/saisie_panneau.hpp"
#include "link/app/ticker_niveau.hpp"

namespace ravlo {

/// Les actions du panneau, que les vues appellent sans argument (boutons, interrupteur, touche
/// Entrée du code), sauf `retirerPiece` qui dit laquelle ; chacune tourne sur le fil principal.
///
/// - `taperCode` : la saisie garde ce que `filtrerCode` retient ; dès qu'un chiffre est tapé,
///   l'issue de l'appairage d'avant s'efface (`ModeleLink::oublierIssueAppairage`).
/// - `appairer` : le récepteur listé dont l'`id` est la sélection, sinon rien (le code tapé
///   reste) ; le code est vidé aussitôt, puis l'appairage part dans une tâche du fil principal.
/// - `ouvrirAjout`, `fermerAjout` : montrent ou cachent « Ajouter une pièce » ; l'échec d'un
///   ajout précédent s'oublie, et en fermant le code tapé aussi.
/// - `ajouterPiece` : comme `appairer`, parmi les récepteurs offerts pendant l'envoi ; la pièce
///   ajoutée, « Ajouter une pièce » se ferme.
/// - `ouvrirAdresse`, `fermerAdresse` : montrent ou cachent « Ajouter par adresse » ; l'erreur
///   d'une adresse d'avant s'oublie.
/// - `ajouterAdresse` : l'hôte et le port tapés vont au chercheur
///   (`ChercheurRavlo::ajouterParAdresse`) ; le récepteur ajouté est choisi, comme une carte
///   qu'on touche, et « Ajouter par adresse » se ferme.
/// - `retirerPiece` : cette pièce quitte l'envoi ; la dernière l'arrête.
/// - `envoyer` : avec un récepteur appairé, arrête l'envoi en cours ou en démarre un vers lui.
/// - `arreter` : arrête l'envoi.
/// - `basculerSilence` : inverse « N'entendre que le récepteur » (ou « les récepteurs »), en
///   prévenant toujours.
/// - `changerDeRecepteur` : `ModeleLink::changerDeRecepteur()`.
/// - `basculerTelephone` : allume ou éteint « Écouter sur un téléphone ».
/// - `ouvrirReglages`, `quitter` : la plateforme.
struct ActionsPanneau {
  std::function<void(std::string_view)> taperCode;
  /// Le récepteur choisi, avec le code tapé ; sans code, il est repris s'il est retenu.
  std::function<void()> appairer;
  /// Le récepteur choisi n'est plus retenu : la fois suivante, il faudra son code.
  std::function<void()> oublier;
  /// Le récepteur listé dont l'`id` est la sélection dit son code à voix haute ; sinon rien.
  std::function<void()> faireEntendre;
  std::function<void()> ouvrirAjout;
  std::function<void()> fermerAjout;
  std::function<void()> ajouterPiece;
  std::function<void()> ouvrirAdresse;
  std::function<void()> fermerAdresse;
  std::function<void(std::string_view hote, std::string_view port)> ajouterAdresse;
  std::function<void(Diffusion::NumeroPiece)> retirerPiece;
  std::function<void()> envoyer;
  std::function<void()> arreter;
  std::function<void()> basculerSilence;
  std::function<void()> changerDeRecepteur;
  std::function<void()> basculerTelephone;
  std::function<void()> ouvrirReglages;
  std::function<void()> quitter;

  /// Les actions sur ce modèle et cette saisie ; elles ne font rien une fois l'un d'eux parti.
  [[nodiscard]] static ActionsPanneau pour(const std::shared_ptr<ModeleLink>& modele,
                                           const std::shared_ptr<SaisiePanneau>& saisie,
                                           const std::shared_ptr<PlateformeApp>& plateforme,
                                           Executeur& principal);
};

/// Ce que fait le panneau quand il s'affiche : relancer la recherche (sans effet si elle
/// tourne ; elle repart ainsi après un échec du navigateur), relire les adresses de la page
/// du téléphone, entretenir la sélection et relancer le relevé du niveau.
void ouvrirPanneau(ModeleLink& modele, SaisiePanneau& saisie, TickerNiveau& ticker);

}  // namespace ravlo
