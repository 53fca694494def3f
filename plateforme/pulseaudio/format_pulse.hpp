#pragma once

#include <pulse/sample.h>

#include "plateforme/plateforme_audio.hpp"

namespace ravlo {

/// Le format d'un flux PulseAudio décrit champ par champ : PulseAudio entrelace toujours les
/// voies, et une trame fait `pa_frame_size` octets. Un format inconnu donne 0 bit.
[[nodiscard]] FormatFlux formatDe(const pa_sample_spec& spec);

}  // namespace ravlo
