// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/accord_groupe.hpp"

#include <algorithm>

namespace ravlo {

std::optional<std::uint64_t> AccordGroupe::accorder(std::size_t pieces,
                                                    std::optional<std::uint64_t> besoinNs,
                                                    InstantNs maintenant) {
  // Un groupe qui perd des pièces garde son heure : celles qui restent ne sautent pas.
  if (pieces == 0 || (pieces == 1 && !latence_)) {
    *this = AccordGroupe{};
    return std::nullopt;
  }
  if (!origineNs_) origineNs_ = maintenant;
  const std::int64_t numero =
      std::max<std::int64_t>(ecartSigneNs(maintenant, *origineNs_), 0) / 1'000'000'000;
  // Plus haut, la somme qui suit pourrait même faire le tour des entiers.
  if (besoinNs && !besoinAdmis(*besoinNs)) besoinNs.reset();
  if (besoinNs) {
    const std::uint64_t voulu = *besoinNs + margeNs;
    Seconde& s = secondes_[static_cast<std::size_t>(numero) % secondesRetenues];
    if (s.numero != numero) s = Seconde{numero, 0};
    s.plusHautNs = std::max(s.plusHautNs, voulu);
  }
  std::optional<std::uint64_t> plusHaut;
  bool fenetrePleine = true;
  for (std::int64_t k = numero - static_cast<std::int64_t>(secondesRetenues) + 1; k <= numero;
       ++k) {
    const Seconde& s =
        secondes_[static_cast<std::size_t>(std::max<std::int64_t>(k, 0)) % secondesRetenues];
    if (k < 0 || s.numero != k) {
      fenetrePleine = false;
      continue;
    }
    plusHaut = std::max(plusHaut.value_or(0), s.plusHautNs);
  }
  if (!plusHaut) return std::nullopt;
  // Au pas supérieur, et un demi-pas au-dessus du plus haut besoin pour descendre : un
  // besoin qui hésite au bord d'un pas ne fait pas sauter le groupe à chaque hésitation.
  const auto auPas = [](std::uint64_t ns) { return (ns + pasNs - 1) / pasNs * pasNs; };
  const std::optional<std::uint64_t> avant = latence_;
  if (!latence_ || *plusHaut > *latence_) {
    latence_ = auPas(*plusHaut);
  } else if (fenetrePleine && auPas(*plusHaut + pasNs / 2) < *latence_) {
    latence_ = auPas(*plusHaut + pasNs / 2);
    // Une descente en une fois : la suivante attendra une fenêtre entière.
    for (auto& s : secondes_) {
      if (s.numero != numero) s = Seconde{};
    }
  }
  if (latence_ != avant || !annonceNs_ ||
      ecartSigneNs(maintenant, *annonceNs_) >= static_cast<std::int64_t>(periodeAnnonceNs)) {
    annonceNs_ = maintenant;
    return latence_;
  }
  return std::nullopt;
}

}  // namespace ravlo
