// SPDX-License-Identifier: MPL-2.0
#include "recepteur/voix_melee.hpp"

#include <algorithm>

namespace ravlo {

VoixMelee::~VoixMelee() {
  // Le rendu est arrêté : tout ce qui reste revient à ce fil.
  delete courante_;
  while (const auto* p = aller_.prochaine()) {
    delete *p;
    aller_.rendre();
  }
  recuperer();
}

bool VoixMelee::confier(std::unique_ptr<VoixPrete> voix) {
  VoixPrete** place = aller_.reserver();
  if (place == nullptr) return false;
  *place = voix.release();
  aller_.publier();
  return true;
}

std::size_t VoixMelee::recuperer() {
  std::size_t n = 0;
  while (const auto* p = retour_.prochaine()) {
    delete *p;
    retour_.rendre();
    ++n;
  }
  return n;
}

void VoixMelee::meler(std::span<float> entrelace) {
  constexpr float pasGain = (1.0F - gainMusique) / static_cast<float>(tramesFondu);
  if (courante_ == nullptr) {
    if (const auto* p = aller_.prochaine()) {
      courante_ = *p;
      aller_.rendre();
      lu_ = 0;
    }
  }
  // Sans voix et la musique revenue à plein : le bloc passe tel quel, comme sans voix du tout.
  if (courante_ == nullptr && gain_ >= 1.0F) return;
  for (std::size_t i = 0; i + 1 < entrelace.size(); i += 2) {
    const bool voix = courante_ != nullptr && lu_ + 1 < courante_->entrelace.size();
    gain_ = voix ? std::max(gainMusique, gain_ - pasGain) : std::min(1.0F, gain_ + pasGain);
    for (std::size_t c = 0; c < 2; ++c) {
      const float v = voix ? static_cast<float>(courante_->entrelace[lu_ + c]) / 32767.0F : 0.0F;
      entrelace[i + c] = std::clamp(entrelace[i + c] * gain_ + v, -1.0F, 1.0F);
    }
    if (voix) lu_ += 2;
  }
  // Jouée jusqu'au bout : rendue au fil principal ; l'anneau plein, elle attend le bloc
  // suivant (sans jouer de nouveau).
  if (courante_ != nullptr && lu_ + 1 >= courante_->entrelace.size()) {
    if (VoixPrete** place = retour_.reserver()) {
      *place = courante_;
      retour_.publier();
      courante_ = nullptr;
    }
  }
}

}  // namespace ravlo
