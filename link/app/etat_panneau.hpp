// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/app/modele_link.hpp"

namespace ravlo {

/// Tout ce que le panneau dessine, dérivé de zéro des modèles à chaque reconstruction : quel
/// écran, quels récepteurs, quels drapeaux et quel message. Les vues ne lisent que cette
/// valeur (et l'état local de `SaisiePanneau`) ; elles la recalculent à chaque notification
/// du chercheur, du modèle de diffusion ou du modèle de l'application. Fil principal.
struct EtatPanneau {
  enum class Ecran : std::uint8_t { appairage, pret, envoi };

  struct Appareil {
    std::string id;
    std::string nom;
    bool memorise = false;  ///< repris sans code ; sa carte le dit et offre « Oublier »
    /// Une page de réception dans le navigateur d'un téléphone ; sa carte dit son adresse.
    bool telephone = false;
    std::string adresse = {};  ///< l'hôte d'où elle s'est reliée, pour un téléphone
    bool operator==(const Appareil&) const = default;
  };

  /// « Écouter sur un téléphone » : offert (le programme sait servir la page), actif, et les
  /// adresses de la page, dont celle que porte le code QR ; `erreur` : pourquoi le serveur n'a
  /// pas pu s'ouvrir, traduit (vide sans erreur).
  struct Telephone {
    bool offert = false;
    bool actif = false;
    std::vector<std::string> adresses = {};
    std::string adresseQr = {};
    std::string erreur = {};
    bool operator==(const Telephone&) const = default;
  };

  /// Une pièce de l'envoi, pour sa carte.
  struct Piece {
    Diffusion::NumeroPiece numero = 0;
    std::string nom;
    EnnuiPiece ennui = EnnuiPiece::aucun;
    std::string ennuiTexte;  ///< sous son nom, déjà traduit ; vide quand elle va bien
    bool operator==(const Piece&) const = default;
  };

  /// Titre et texte déjà traduits ; `ouvrirReglages` : la boîte offre « Ouvrir les réglages ».
  struct Message {
    std::string titre;
    std::string texte;
    bool ouvrirReglages = false;
    bool operator==(const Message&) const = default;
  };

  Ecran ecran = Ecran::appairage;
  /// Les récepteurs qu'on peut choisir : tous ceux trouvés, sauf pendant l'envoi ceux qui
  /// jouent déjà (ce qu'offre « Ajouter une pièce »).
  std::vector<Appareil> appareils;
  /// Pendant l'envoi, les pièces en service, par numéro.
  std::vector<Piece> pieces;
  /// Vers où part le son, en une expression (`destinationEnvoi`) ; vide hors envoi.
  std::string destination;
  bool rechercheEnCours = false;
  /// « Ajouter par adresse » : l'hôte se résout, ou pourquoi l'adresse tapée n'a pas servi
  /// (traduit ; vide sans erreur).
  bool resolutionEnCours = false;
  std::string erreurAdresse;
  bool appairageEnCours = false;
  std::string nomRecepteur;
  double duree = 0;
  bool recepteurRepond =
      true;  ///< faux seulement quand la connexion est prête et le récepteur muet
  bool connexionPrete = false;
  bool nEntendreQueLeRecepteur = false;
  Telephone telephone;
  std::optional<Message> message;

  bool operator==(const EtatPanneau&) const = default;

  /// Textes traduits pour `locale`.
  [[nodiscard]] static EtatPanneau depuis(const ModeleLink& modele, std::string_view locale);
};

/// Le message à montrer pour `ecran` : la première règle qui s'applique, dans l'ordre
/// (l'échec du démarrage d'abord ; hors envoi, l'issue de l'appairage puis l'état de la
/// recherche ; pendant l'envoi, la capture muette, l'appairage d'une pièce qui a échoué, le
/// réseau, le récepteur muet, une pièce partie d'elle-même, le silence refusé), ou rien.
///
/// Avec plusieurs pièces, l'ennui d'une pièce se dit avec son nom, les autres jouant (« Cuisine
/// ne répond plus ; les autres pièces jouent ») ; quand toutes sont en ennui, il se dit comme
/// pour une seule.
[[nodiscard]] std::optional<EtatPanneau::Message> messagePanneau(EtatPanneau::Ecran ecran,
                                                                 const ModeleLink& modele,
                                                                 std::string_view locale);

/// Les récepteurs trouvés qu'on peut choisir : pendant l'envoi, sans ceux qui jouent déjà
/// (reconnus à leur nom d'instance, celui que porte leur pièce).
[[nodiscard]] std::vector<ChercheurRavlo::Appareil> appareilsOfferts(const ModeleLink& modele);

/// « Envoi vers Salon », « Envoi vers 3 pièces » pendant l'envoi ; vide sinon.
[[nodiscard]] std::string statutEnvoi(const DiffusionModel& diffusion, std::string_view locale);

}  // namespace ravlo
