// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Combien de codes le récepteur laisse vérifier, et quand : la borne de la devinette en
/// ligne.
///
/// Un échec est un essai dont le code a été vérifié et refusé ; le code est alors tiré à
/// neuf, si bien que chaque échec coûte à un attaquant une chance sur 10 000, ni plus ni
/// moins. Les 3 premiers échecs retenus ne coûtent rien (une faute de frappe, deux, puis le
/// bon code passent sans attendre) ; chaque échec suivant ouvre une pause qui double : 2 s
/// après le 4e, 4 s après le 5e… puis 6 min dès le 12e. Chaque tranche de 6 min sans échec
/// en pardonne un.
///
/// À pleine vitesse, un attaquant teste donc 12 codes dans les 9 premières minutes puis un
/// toutes les 6 min ; attendre le pardon ne rend pas plus qu'une chance par 6 min. Il lui
/// faut en moyenne 10 000 essais, soit environ 41 jours (calcul en temps simulé dans
/// `tests/recepteur/politique_appairage_test.cpp`).
///
/// Exemple : échecs à 0 s, 0 s, 0 s, 0 s → pause jusqu'à 2 s ; échec à 2 s → jusqu'à 6 s.
///
/// Une valeur sans horloge : chaque appel reçoit `maintenant`. Non synchronisée.
class PolitiqueAppairage {
 public:
  static constexpr int echecsLibres = 3;
  static constexpr std::uint64_t premierePauseNs = 2'000'000'000;
  static constexpr std::uint64_t pauseMaxNs = 360'000'000'000;
  static constexpr std::uint64_t pardonNs = 360'000'000'000;

  /// Un code vérifié et refusé à `maintenant`.
  void noterEchec(InstantNs maintenant);

  /// Ce qui reste de la pause : 0 quand un essai serait servi.
  [[nodiscard]] std::uint64_t pauseRestanteNs(InstantNs maintenant) const;

  /// Les échecs qui comptent encore, pardons déduits.
  [[nodiscard]] int echecsRetenus(InstantNs maintenant) const;

  /// La pause qu'ouvre le `n`-ième échec retenu.
  [[nodiscard]] static std::uint64_t pauseApres(int n);

 private:
  int echecs_ = 0;
  InstantNs dernierEchec_ = 0;
};

}  // namespace ravlo
