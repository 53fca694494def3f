// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/messages/message_groupe.hpp"

namespace ravlo {

/// La latence commune d'un groupe de pièces : de l'heure de capture au son entendu, la même
/// pour chaque récepteur, pour qu'ils jouent chaque trame au même instant.
///
/// C'est le plus grand besoin que disent les récepteurs, plus 3 ms de marge, arrondi au pas de
/// 4 ms supérieur. Elle monte aussitôt qu'un besoin la dépasse ; elle ne descend qu'après 30 s
/// de besoins plus bas, en une fois, et pas plus bas que le plus haut de ces 30 s plus un
/// demi-pas : chaque montée fait sauter le son de toutes les pièces (les récepteurs ne
/// rejoignent sans saut qu'une descente), un besoin qui hésite au bord d'un pas ne doit pas la
/// faire osciller.
///
/// Une seule pièce n'est pas un groupe : rien ne s'annonce, et le récepteur joue comme seul.
/// Sinon la latence s'annonce toutes les 500 ms, et aussitôt quand elle change. Un groupe
/// réduit à une pièce reste un groupe : elle garde son heure, qui descend comme toujours.
///
/// Un besoin au-delà de `besoinMaxNs` mènerait le groupe plus loin que la file d'un récepteur
/// ne tient (`MessageGroupe::latenceMaxNs`) : il ne compte pas, et sa pièce joue seule.
///
/// Exemple : besoins 22 et 30 ms → 36 ms ; le second retombe à 24 → 36 ms encore 30 s, puis
/// 32 (24 + 3 + 2, au pas). Besoins 30 ms et 10 s → 36 ms, la seconde pièce hors du groupe.
class AccordGroupe {
 public:
  static constexpr std::uint64_t margeNs = 3'000'000;
  static constexpr std::uint64_t pasNs = 4'000'000;
  static constexpr std::uint64_t periodeAnnonceNs = 500'000'000;
  static constexpr std::size_t secondesRetenues = 30;
  /// Marge et pas compris, la latence qu'il fait reste sous la borne : 6 693 ms.
  static constexpr std::uint64_t besoinMaxNs = MessageGroupe::latenceMaxNs - margeNs - pasNs;
  static_assert(MessageGroupe::latenceMaxNs % pasNs == 0);

  [[nodiscard]] static constexpr bool besoinAdmis(std::uint64_t besoinNs) {
    return besoinNs <= besoinMaxNs;
  }

  /// `pieces` du groupe, le plus grand besoin admis parmi elles ; rend la latence à annoncer
  /// maintenant à chacune, ou rien. Un besoin au-delà de la borne compte comme absent.
  std::optional<std::uint64_t> accorder(std::size_t pieces, std::optional<std::uint64_t> besoinNs,
                                        InstantNs maintenant);
  [[nodiscard]] std::optional<std::uint64_t> latenceNs() const { return latence_; }

 private:
  struct Seconde {
    std::int64_t numero = -1;
    std::uint64_t plusHautNs = 0;
  };

  std::optional<std::uint64_t> latence_;
  std::optional<InstantNs> annonceNs_;
  std::optional<InstantNs> origineNs_;
  std::array<Seconde, secondesRetenues> secondes_{};
};

}  // namespace ravlo
