#include "protocol/lecture/mesure_gigue.hpp"

#include <algorithm>

namespace ravlo {
namespace {

std::optional<std::int64_t> plusPetit(std::optional<std::int64_t> a,
                                      std::optional<std::int64_t> b) {
  if (a && b) return std::min(*a, *b);
  return a ? a : b;
}

// Écart a − b calculé modulo 2⁶⁴ : les transits viennent d'horloges sans rapport et leur
// différence ne doit jamais déborder.
std::int64_t difference(std::int64_t a, std::int64_t b) {
  return ecartSigneNs(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b));
}

std::uint64_t ecartAbsolu(std::int64_t a, std::int64_t b) {
  const std::uint64_t d = static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b);
  return std::min(d, std::uint64_t{0} - d);
}

}  // namespace

void MesureGigue::mesurer(InstantNs envoiNs, InstantNs receptionNs) {
  const std::int64_t transit = ecartSigneNs(receptionNs, envoiNs);
  const auto reference = plusPetit(transitMinCourant_, transitMinPrecedent_);
  if (reference && ecartAbsolu(transit, *reference) > sautRedemarrageNs) {
    debutFenetre_.reset();
    transitMinCourant_.reset();
    transitMinPrecedent_.reset();
    gigueMaxCourante_ = 0;
    gigueMaxPrecedente_ = 0;
  }
  if (!debutFenetre_) {
    debutFenetre_ = receptionNs;
  } else if (ecartNs(receptionNs, *debutFenetre_) >= fenetre_) {
    transitMinPrecedent_ = transitMinCourant_;
    gigueMaxPrecedente_ = gigueMaxCourante_;
    debutFenetre_ = receptionNs;
    transitMinCourant_.reset();
    gigueMaxCourante_ = 0;
  }
  const std::int64_t minimum =
      transitMinCourant_ ? std::min(*transitMinCourant_, transit) : transit;
  transitMinCourant_ = minimum;
  const std::int64_t plancher =
      transitMinPrecedent_ ? std::min(minimum, *transitMinPrecedent_) : minimum;
  const double gigue = static_cast<double>(difference(transit, plancher)) / 1e6;
  gigueMaxCourante_ = std::max(gigueMaxCourante_, gigue);
  gigueMs_ = gigue;
  ++mesures_;
}

double MesureGigue::gigueMaxRecenteMs() const {
  return std::max(gigueMaxCourante_, gigueMaxPrecedente_);
}

}  // namespace ravlo
