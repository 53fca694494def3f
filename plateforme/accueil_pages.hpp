// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {

/// Une page de réception ouverte dans un navigateur et reliée à l'ordinateur. `point` est
/// l'adresse et le port d'où elle s'est connectée : il la désigne tant qu'elle reste reliée
/// (une page qui se reconnecte est une nouvelle page). `nom` est montrable (« iPhone —
/// Safari »), `langue` une étiquette de langue (« fr-FR »). `identifiant` et `reprise` se lisent
/// comme l'annonce d'un récepteur : celui que la page s'est tiré, et si elle reprend un
/// appairage mémorisé.
struct PageConnectee {
  std::string nom;
  std::string langue;
  PointReseau point;
  std::optional<IdentifiantRecepteur> identifiant = {};
  bool reprise = false;
  bool operator==(const PageConnectee&) const = default;
};

/// Les pages qui se relient à l'ordinateur, vues par la couche du dessus comme des récepteurs
/// trouvés : chacune arrive avec son nom, sa langue et son adresse, et sa connexion est un
/// `ConnexionDatagramme` comme une autre (un message binaire reçu = un datagramme reçu, un
/// datagramme envoyé = un message binaire), si bien que l'appairage, le scellement, la
/// supervision et les réponses d'horloge y passent sans changer.
///
/// Une page qui ne s'appaire pas est renvoyée après un délai : `garder` l'en exempte.
/// Opérations sûres depuis n'importe quel fil ; les rappels tournent sur la file donnée à
/// `demarrer`. Après `arreter` appelé sur cette file, plus aucun rappel ne commence.
class AccueilPages {
 public:
  using RappelArrivee = std::function<void(const PageConnectee&)>;
  using RappelDepart = std::function<void(const PointReseau&)>;

  virtual ~AccueilPages() = default;

  virtual void demarrer(Executeur& file, RappelArrivee arrivee, RappelDepart depart) = 0;
  /// La connexion de la page `point`, dont les rappels tournent sur `file`. Une seule à la
  /// fois par page : en prendre une nouvelle annule la précédente (le dialogue d'appairage
  /// passe la page à sa voie). Quand la page part, sa connexion passe à `fermee` ; une page
  /// partie rend une connexion `fermee`.
  [[nodiscard]] virtual std::shared_ptr<ConnexionDatagramme> connexion(const PointReseau& point,
                                                                       File& file) = 0;
  /// La page est appairée : elle reste tant qu'elle parle.
  virtual void garder(const PointReseau& point) = 0;
  virtual void arreter() = 0;
};

/// Fabrique de connexions qui rend celle d'une page pour le point d'une page reliée, et
/// délègue tout autre point (un récepteur UDP) : une voie ou un dialogue d'appairage vers
/// une page s'ouvre ainsi comme vers n'importe quel récepteur.
class FabriqueConnexionsPages final : public FabriqueConnexions {
 public:
  FabriqueConnexionsPages(std::shared_ptr<AccueilPages> pages,
                          std::shared_ptr<FabriqueConnexions> autres,
                          std::function<bool(const PointReseau&)> estPage)
      : pages_(std::move(pages)), autres_(std::move(autres)), estPage_(std::move(estPage)) {}

  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& point,
                                                           File& file) override {
    return estPage_(point) ? pages_->connexion(point, file) : autres_->creer(point, file);
  }

 private:
  std::shared_ptr<AccueilPages> pages_;
  std::shared_ptr<FabriqueConnexions> autres_;
  std::function<bool(const PointReseau&)> estPage_;
};

}  // namespace ravlo
