// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/base/octets.hpp"
#include "protocol/reprise/secret_paire.hpp"

namespace ravlo {

/// Un expéditeur dont le récepteur se souvient : le secret de la paire, le nom qu'il avait
/// donné à l'appairage, et sa dernière venue (secondes de l'horloge murale, qui ne sert qu'à
/// choisir qui oublier).
struct ExpediteurMemorise {
  SecretPaire paire;
  std::string nom;
  std::int64_t dernierUsageS = 0;
  bool operator==(const ExpediteurMemorise&) const = default;
};

enum class CasErreurCarnet : std::uint8_t {
  versionInconnue,
  tronque,
  tropDExpediteurs,
  nomInvalide,
  identifiantEnDouble,
  octetsEnTrop
};
struct ErreurCarnet {
  CasErreurCarnet cas;
  std::size_t position = 0;  ///< où la lecture s'est arrêtée
  bool operator==(const ErreurCarnet&) const = default;
};

/// Les expéditeurs mémorisés du récepteur, au plus `tailleMax` : un de plus fait oublier
/// celui venu le moins récemment. Une valeur, sans fichier ni horloge ; non synchronisée.
///
/// Forme écrite (petit-boutiste), version 1 :
/// ```
///  0      version = 1 (1 octet)
///  1      nombre n ≤ 16 (1 octet)
///  2      n fois :
///           +0   identifiant de la paire (16)
///           +16  PSK (32)
///           +48  dernière venue, secondes depuis 1970 (8, signé)
///           +56  longueur du nom L ≤ 128 (1)
///           +57  nom, UTF-8 strict (L)
/// ```
/// Rien ne suit le dernier ; deux fois le même identifiant est une faute.
class CarnetExpediteurs {
 public:
  static constexpr std::size_t tailleMax = 16;
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t tailleFixeExpediteur = 16 + 32 + 8 + 1;
  /// Ce que pèse un carnet plein aux noms les plus longs : le plafond d'une lecture.
  static constexpr std::size_t octetsMax = 2 + tailleMax * (tailleFixeExpediteur + 128);

  /// Retient la paire sous `nom` (ou la met à jour si son identifiant est connu), venue à
  /// `maintenantS`. Plein, oublie d'abord celui venu le moins récemment.
  void retenir(const SecretPaire& paire, std::string nom, std::int64_t maintenantS);

  [[nodiscard]] const ExpediteurMemorise* chercher(const IdentifiantPaire& id) const;

  /// Note une venue ; faux si l'identifiant n'est pas retenu.
  bool noterVenue(const IdentifiantPaire& id, std::int64_t maintenantS);

  /// Oublie chaque expéditeur de ce nom ; rend combien.
  std::size_t oublier(std::string_view nom);
  void oublierTout() { expediteurs_.clear(); }

  [[nodiscard]] std::span<const ExpediteurMemorise> expediteurs() const { return expediteurs_; }

  /// La forme écrite. Elle contient les PSK : l'appelant l'efface après usage.
  [[nodiscard]] Octets ecrire() const;
  [[nodiscard]] static std::expected<CarnetExpediteurs, ErreurCarnet> lire(VueOctets octets);

  bool operator==(const CarnetExpediteurs&) const = default;

 private:
  std::vector<ExpediteurMemorise> expediteurs_;
};

}  // namespace ravlo
