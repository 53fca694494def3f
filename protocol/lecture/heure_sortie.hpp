// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Quand une trame écrite dans une sortie de son sortira, d'après le dernier relevé brut du
/// serveur : l'heure où il l'a pris, la trame que la sortie tirera ensuite, et ce qu'elle
/// tient déjà avant elle.
///
/// Pourquoi pas le minutage interpolé de libpulse : une sortie nulle de PulseAudio tourne
/// 200 à 450 ppm trop vite (mesuré ; chaque bloc rendu y perd la fraction de µs de sa durée),
/// une vraie carte de quelques dizaines de ppm, et l'interpolation entre deux relevés, qui
/// s'espacent jusqu'à 1,5 s, s'en écarte en dents de scie d'un demi-ms ; après un trou, elle
/// met des secondes à revenir. Un relevé toutes les 100 ms, pris tel quel, suit la vraie
/// cadence à quelques dizaines de µs près.
///
/// Un trou ou un changement de latence périme le relevé : rien n'est daté avant le premier
/// relevé pris après lui. Sans fil : le propriétaire appelle tout du même fil.
class HeureSortie {
 public:
  struct Releve {
    InstantNs heureNs = 0;      ///< heure hôte où le serveur l'a pris
    std::int64_t trameLue = 0;  ///< la prochaine trame que la sortie tirera du flux
    std::int64_t retardNs = 0;  ///< ce que la sortie jouera avant elle
    bool joue = false;          ///< faux : le flux attend d'être rempli, rien n'avance
  };
  static constexpr std::int64_t intervalleNs = 100'000'000;

  void noter(const Releve& releve);
  /// Un trou ou une nouvelle latence : les relevés pris jusqu'ici ne valent plus.
  void rompre(InstantNs maintenant);
  /// Quand la trame `trame` du flux sortira, si un relevé valable le dit.
  [[nodiscard]] std::optional<InstantNs> heure(std::int64_t trame) const;
  /// Vrai quand il est temps de demander un relevé ; compte la demande.
  [[nodiscard]] bool aDemander(InstantNs maintenant);

 private:
  std::optional<Releve> releve_;
  InstantNs rompuNs_ = 0;
  std::optional<InstantNs> demandeNs_;
};

}  // namespace ravlo
