// SPDX-License-Identifier: MPL-2.0
#include "link/capture/rappel_capture.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <optional>

#include "protocol/audio/conversion_pcm.hpp"

namespace ravlo {

static_assert(std::endian::native == std::endian::little,
              "l'anneau attend des échantillons petit-boutistes, écrits tels quels");

void traiterBloc(const ContexteRappel& contexte, const BlocCapte& bloc) {
  const std::size_t trames = bloc.echantillons.size() / voiesCapture;
  contexte.livraisons->modifier([trames](Livraisons& l) {
    l.rappels += 1;
    l.trames += static_cast<std::int64_t>(trames);
  });
  const std::size_t parMorceau = contexte.conversion.size() / voiesCapture;
  if (trames < 1 || parMorceau < 1) return;

  double somme = 0;
  std::optional<InstantNs> heure = bloc.heure;
  for (std::size_t fait = 0; fait < trames;) {
    const auto source = bloc.echantillons.subspan(fait * voiesCapture);
    const std::size_t n =
        ConversionPCM::entrelacer(source, source.subspan(1), voiesCapture,
                                  std::min(trames - fait, parMorceau), contexte.conversion);
    if (n < 1) break;
    for (std::size_t i = 0; i < voiesCapture * n; ++i) {
      const double s = contexte.conversion[i] / 32768.0;
      somme += s * s;
    }
    const VueOctets pcm(reinterpret_cast<const std::uint8_t*>(contexte.conversion.data()),
                        n * TamponAudio::octetsParTrame);
    contexte.tampon->ecrire(pcm, heure);
    // Un bloc plus long que la conversion : ses morceaux suivants gardent l'heure du bloc.
    if (heure) *heure += static_cast<InstantNs>(flux::nsDeTrames(static_cast<std::int64_t>(n)));
    fait += n;
  }
  contexte.niveauDuBloc->ecrire(
      static_cast<float>(std::sqrt(somme / static_cast<double>(voiesCapture * trames))));
}

}  // namespace ravlo
