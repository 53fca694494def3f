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
    bool operator==(const Appareil&) const = default;
  };

  /// Titre et texte déjà traduits ; `ouvrirReglages` : la boîte offre « Ouvrir les réglages ».
  struct Message {
    std::string titre;
    std::string texte;
    bool ouvrirReglages = false;
    bool operator==(const Message&) const = default;
  };

  Ecran ecran = Ecran::appairage;
  std::vector<Appareil> appareils;
  bool rechercheEnCours = false;
  bool appairageEnCours = false;
  std::string nomRecepteur;
  double duree = 0;
  bool recepteurRepond =
      true;  ///< faux seulement quand la connexion est prête et le récepteur muet
  bool connexionPrete = false;
  bool nEntendreQueLeRecepteur = false;
  std::optional<Message> message;

  bool operator==(const EtatPanneau&) const = default;

  /// Textes traduits pour `locale`.
  [[nodiscard]] static EtatPanneau depuis(const ModeleLink& modele, std::string_view locale);
};

/// Le message à montrer pour `ecran` : la première des douze règles qui s'applique, dans
/// l'ordre (l'échec du démarrage d'abord ; hors envoi, l'issue de l'appairage puis l'état de la
/// recherche ; pendant l'envoi, la capture muette, le réseau, le récepteur muet, le silence
/// refusé), ou rien.
[[nodiscard]] std::optional<EtatPanneau::Message> messagePanneau(EtatPanneau::Ecran ecran,
                                                                 const ChercheurRavlo& chercheur,
                                                                 const DiffusionModel& diffusion,
                                                                 std::string_view locale);

}  // namespace ravlo
