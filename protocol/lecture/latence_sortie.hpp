// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// La latence d'une sortie de son qui signale ses sous-alimentations : la plus petite qu'une
/// machine tient sans trou, apprise en marche.
///
/// Chaque sous-alimentation la relève d'un pas, jusqu'au plafond ; celles qui suivent une
/// montée de 400 ms au plus sont le même accroc (un serveur qui rattrape un retard en rend
/// plusieurs blocs d'un coup : des sous-alimentations à 10–25 ms l'une de l'autre, parfois
/// une dernière 250 ms après, la machine à peine repartie) et ne la relèvent pas ; plus tard,
/// c'est que le pas n'a pas suffi. Après `attente` sans aucune,
/// elle redescend d'un pas, jamais sous le départ : une compilation ou un instant de charge
/// ne coûte pas ses millisecondes pour toute l'écoute. Une sous-alimentation qui suit
/// une descente de moins d'`attente` dit que la machine ne tient pas ce pas : l'attente
/// double (quatre fois au plus), et ces essais, chacun un trou possible, s'espacent.
///
/// Exemple, départ 10 ms, pas 5 ms, attente 60 s : un trou à t = 0 → 15 ms ; rien jusqu'à
/// 60 s → 10 ms ; un trou à 70 s → 15 ms et 120 s d'attente ; descente à 190 s.
///
/// Sans fil ni horloge : le propriétaire (le fil de sa sortie) donne l'heure à chaque appel.
class LatenceSortie {
 public:
  struct Reglages {
    std::uint32_t departUs = 10'000;
    std::uint32_t pasUs = 5'000;
    std::uint32_t maxUs = 40'000;
    std::uint64_t attenteNs = 60'000'000'000;  ///< doublée au plus quatre fois
  };
  static constexpr std::uint64_t memeAccrocNs = 400'000'000;

  explicit LatenceSortie(Reglages r)
      : reglages_(r), latenceUs_(r.departUs), attenteNs_(r.attenteNs) {}

  /// Le serveur a manqué de son : la nouvelle latence à demander, ou rien si elle est au
  /// plafond.
  std::optional<std::uint32_t> sousAlimentation(InstantNs maintenant);
  /// À appeler souvent (à chaque demande de la sortie) : la latence à demander quand le
  /// moment de redescendre est venu, rien sinon.
  std::optional<std::uint32_t> noter(InstantNs maintenant);
  /// La demande au serveur a échoué : la latence d'avant joue encore.
  void refusee(std::uint32_t avantUs) { latenceUs_ = avantUs; }

  [[nodiscard]] std::uint32_t latenceUs() const { return latenceUs_; }
  [[nodiscard]] std::uint64_t attenteNs() const { return attenteNs_; }

 private:
  Reglages reglages_;
  std::uint32_t latenceUs_;
  std::uint64_t attenteNs_;
  std::optional<InstantNs> depuisNs_;    ///< la dernière montée ou descente
  std::optional<InstantNs> descenteNs_;  ///< la dernière descente
  std::optional<InstantNs> monteeNs_;    ///< la dernière montée
};

}  // namespace ravlo
