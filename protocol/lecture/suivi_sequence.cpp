#include "protocol/lecture/suivi_sequence.hpp"

namespace ravlo {

bool SuiviSequence::noter(std::uint32_t sequence) {
  if (!derniere_) {
    derniere_ = sequence;
    ++recus_;
    return true;
  }
  const auto avance = static_cast<std::int32_t>(sequence - *derniere_);
  if (avance > 0) {
    perdus_ += avance - 1;
    ++recus_;
    derniere_ = sequence;
    return true;
  }
  const std::uint32_t retard = *derniere_ - sequence;
  if (retard <= fenetreRetard) {
    ++horsOrdre_;
    return false;
  }
  derniere_ = sequence;
  ++recus_;
  return true;
}

}  // namespace ravlo
