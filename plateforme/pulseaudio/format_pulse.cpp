#include "plateforme/pulseaudio/format_pulse.hpp"

namespace ravlo {

FormatFlux formatDe(const pa_sample_spec& spec) {
  FormatFlux f;
  f.frequence = spec.rate;
  f.identifiantFormat = FormatFlux::formatPCM;
  f.canauxParTrame = spec.channels;
  f.tramesParPaquet = 1;
  std::uint32_t drapeaux = FormatFlux::drapeauCompact;
  switch (spec.format) {
    case PA_SAMPLE_FLOAT32LE:
    case PA_SAMPLE_FLOAT32BE:
      drapeaux |= FormatFlux::drapeauFlottant;
      f.bitsParCanal = 32;
      break;
    case PA_SAMPLE_S16LE:
    case PA_SAMPLE_S16BE:
      drapeaux |= FormatFlux::drapeauEntierSigne;
      f.bitsParCanal = 16;
      break;
    case PA_SAMPLE_S24LE:
    case PA_SAMPLE_S24BE:
    case PA_SAMPLE_S24_32LE:
    case PA_SAMPLE_S24_32BE:
      drapeaux |= FormatFlux::drapeauEntierSigne;
      f.bitsParCanal = 24;
      break;
    case PA_SAMPLE_S32LE:
    case PA_SAMPLE_S32BE:
      drapeaux |= FormatFlux::drapeauEntierSigne;
      f.bitsParCanal = 32;
      break;
    case PA_SAMPLE_U8:
    case PA_SAMPLE_ALAW:
    case PA_SAMPLE_ULAW:
      f.bitsParCanal = 8;
      break;
    default:
      f.bitsParCanal = 0;
      break;
  }
  const bool grosBoutiste = spec.format == PA_SAMPLE_FLOAT32BE || spec.format == PA_SAMPLE_S16BE ||
                            spec.format == PA_SAMPLE_S24BE || spec.format == PA_SAMPLE_S24_32BE ||
                            spec.format == PA_SAMPLE_S32BE;
  if (grosBoutiste) drapeaux |= FormatFlux::drapeauGrosBoutiste;
  f.drapeaux = drapeaux;
  f.octetsParTrame =
      pa_sample_spec_valid(&spec) != 0 ? static_cast<std::uint32_t>(pa_frame_size(&spec)) : 0;
  f.octetsParPaquet = f.octetsParTrame;
  return f;
}

}  // namespace ravlo
