#include "protocol/lecture/comblement_pertes.hpp"

#include <array>

namespace ravlo {

namespace {
constexpr std::size_t octetsMax =
    ComblementPertes::sautMaximal * PaquetAudio::tramesMax * PaquetAudio::octetsParTrame;
constexpr std::array<std::uint8_t, octetsMax> silence{};
}  // namespace

std::int64_t ComblementPertes::combler(LectureTiree& lecture,
                                       std::optional<std::uint32_t> precedent,
                                       const PaquetAudio& paquet) {
  if (!precedent) return 0;
  const std::uint32_t sautes = paquet.sequence() - *precedent - 1;
  if (sautes < 1 || sautes > sautMaximal) return 0;
  const std::size_t octets = sautes * paquet.echantillons().size();
  const auto duree =
      static_cast<InstantNs>(TamponAudio::dureeNs(static_cast<std::int64_t>(octets)));
  if (!lecture.pousser(VueOctets(silence.data(), octets), paquet.horodatageNanosecondes() - duree))
    return 0;
  return sautes;
}

}  // namespace ravlo
