// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/base/instant.hpp"
#include "protocol/messages/message_horloge.hpp"

namespace ravlo {

/// Estime, côté récepteur, le décalage entre l'horloge de l'émetteur (le pair) et l'horloge
/// locale à partir des réponses `MessageHorloge` reçues.
///
/// Avec t1 = `envoiQuestion`, t2 = `receptionQuestion`, t3 = `envoiReponse` (horloge du
/// pair) et t4 l'arrivée de la réponse (horloge locale) :
///   allerRetour = (t4 − t1) − (t3 − t2)
///   decalage    = (t2 − t1) ÷ 2 + (t3 − t4) ÷ 2   (pair moins local)
/// chaque différence lue en signé sur 64 bits et divisée à part, tronquée vers zéro, pour
/// que la somme ne déborde jamais. Exemple : t1 = 1 000, t2 = 5 000 500, t3 = 5 000 600,
/// t4 = 1 300 donnent allerRetour 200 et decalage 4 999 400.
///
/// Garde les 8 derniers échanges ; l'estimation est celui des échanges de moins de 5 s qui a
/// le plus court aller-retour (le plus ancien à égalité), et disparaît quand aucun n'est
/// assez frais : mieux vaut pas d'estimation qu'une vieille. Un décalage qui saute de plus
/// de 2 s par rapport au meilleur échange gardé signale un redémarrage du pair et vide
/// l'historique.
///
/// Valeur sans fil ni horloge : l'appelant fournit les heures.
class SynchroHorloges {
 public:
  static constexpr std::size_t echangesGardes = 8;
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

  /// Décalage estimé (pair moins local), absent sans échange frais.
  [[nodiscard]] std::optional<std::int64_t> decalageNs(InstantNs maintenant) const;

  /// Aller-retour de l'échange qui fonde l'estimation.
  [[nodiscard]] std::optional<std::uint64_t> allerRetourNs(InstantNs maintenant) const;

  /// Un instant du pair exprimé dans l'horloge locale, en arithmétique non signée modulo 2⁶⁴.
  [[nodiscard]] std::optional<InstantNs> heureLocale(InstantNs deDistante,
                                                     InstantNs maintenant) const;

  /// Du plus ancien au plus récent.
  [[nodiscard]] const std::vector<Echange>& echanges() const { return echanges_; }
  [[nodiscard]] std::int64_t rejets() const { return rejets_; }
  [[nodiscard]] std::int64_t redemarragesDistants() const { return redemarragesDistants_; }

 private:
  [[nodiscard]] std::optional<Echange> meilleurFrais(InstantNs maintenant) const;

  std::vector<Echange> echanges_;
  std::int64_t rejets_ = 0;
  std::int64_t redemarragesDistants_ = 0;
};

}  // namespace ravlo
