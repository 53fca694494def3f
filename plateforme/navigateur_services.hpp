// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Un résultat de recherche : un point de service (nom d'instance, adresse, port) quand
/// `point.nomService` est présent ; sinon un point d'une autre sorte, que le chercheur ignore.
/// `txt` : les chaînes « clé=valeur » de son enregistrement TXT, telles qu'annoncées.
struct ResultatService {
  PointReseau point;
  std::vector<std::string> txt = {};
  bool operator==(const ResultatService&) const = default;
};

/// États d'un navigateur ; `attente` et `echec` portent leur erreur.
struct EtatNavigateur {
  enum class Cas : std::uint8_t { pret, attente, echec, annule };
  Cas cas = Cas::pret;
  std::optional<ErreurReseau> erreur;
  bool operator==(const EtatNavigateur&) const = default;
};

/// Recherche continue des instances d'un type de service sur le réseau local. Les deux
/// rappels tournent sur la file donnée à la création ; `resultats` reçoit à chaque
/// changement l'ensemble complet des résultats du moment. Après `annuler()`, plus aucun
/// rappel ne commence.
class NavigateurServices {
 public:
  using RappelResultats = std::function<void(std::vector<ResultatService>)>;
  using RappelEtat = std::function<void(EtatNavigateur)>;

  virtual ~NavigateurServices() = default;
  virtual void demarrer(RappelResultats resultats, RappelEtat etat) = 0;
  virtual void annuler() = 0;
};

/// Crée les navigateurs ; les tests la remplacent par une fabrique de navigateurs factices.
class FabriqueNavigateurs {
 public:
  virtual ~FabriqueNavigateurs() = default;
  [[nodiscard]] virtual std::unique_ptr<NavigateurServices> creer(std::string_view type,
                                                                  std::shared_ptr<File> file) = 0;
};

}  // namespace ravlo
