// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/base/instant.hpp"
#include "protocol/messages/message_horloge.hpp"

namespace ravlo {

/// Fait, côté récepteur, un échange d'heures de chaque réponse `MessageHorloge` reçue : le
/// décalage entre l'horloge de l'émetteur (le pair) et l'horloge locale qu'elle dit, et son
/// aller-retour. Le récepteur les suit dans `SuiviDecalage`, son seul décalage.
///
/// Avec t1 = `envoiQuestion`, t2 = `receptionQuestion`, t3 = `envoiReponse` (horloge du
/// pair) et t4 l'arrivée de la réponse (horloge locale) :
///   allerRetour = (t4 − t1) − (t3 − t2)
///   decalage    = (t2 − t1) ÷ 2 + (t3 − t4) ÷ 2   (pair moins local)
/// chaque différence lue en signé sur 64 bits et divisée à part, tronquée vers zéro, pour
/// que la somme ne déborde jamais. Exemple : t1 = 1 000, t2 = 5 000 500, t3 = 5 000 600,
/// t4 = 1 300 donnent allerRetour 200 et decalage 4 999 400.
///
/// Garde les 8 derniers échanges. Un décalage qui saute de plus de 2 s par rapport au
/// meilleur échange gardé (le plus court aller-retour) signale un redémarrage du pair et vide
/// l'historique.
///
/// Valeur sans fil ni horloge : l'appelant fournit les heures.
class SynchroHorloges {
 public:
  static constexpr std::size_t echangesGardes = 8;
  /// Au-delà, un décalage n'est plus frais (`SuiviDecalage` n'en donne plus).
  static constexpr std::uint64_t fraicheurNs = 5'000'000'000;
  static constexpr std::uint64_t allerRetourMaxNs = 2'000'000'000;
  static constexpr std::uint64_t sautRedemarrageNs = 2'000'000'000;

  struct Echange {
    std::int64_t decalage = 0;      ///< horloge du pair moins horloge locale, en ns
    std::uint64_t allerRetour = 0;  ///< temps passé sur le réseau, en ns
    InstantNs reception = 0;        ///< horloge locale à l'arrivée de la réponse
    bool operator==(const Echange&) const = default;
  };

  /// Prend une réponse arrivée à `receptionReponse` ; vrai si elle est gardée. Une question,
  /// un intervalle négatif, un temps de garde du pair plus long que le total ou un
  /// aller-retour de plus de 2 s sont comptés dans `rejets` et ne changent rien d'autre.
  bool enregistrer(const MessageHorloge& message, InstantNs receptionReponse);

  /// Du plus ancien au plus récent.
  [[nodiscard]] const std::vector<Echange>& echanges() const { return echanges_; }
  [[nodiscard]] std::int64_t rejets() const { return rejets_; }
  [[nodiscard]] std::int64_t redemarragesDistants() const { return redemarragesDistants_; }

 private:
  std::vector<Echange> echanges_;
  std::int64_t rejets_ = 0;
  std::int64_t redemarragesDistants_ = 0;
};

}  // namespace ravlo
