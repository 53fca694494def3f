#include "link/capture/rappel_capture.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <optional>

#include "protocol/audio/conversion_pcm.hpp"

namespace ravlo {
namespace {

static_assert(std::endian::native == std::endian::little,
              "l'anneau attend des échantillons petit-boutistes, écrits tels quels");

// Les flottants d'un tampon, bornés à sa taille ; vide si les données manquent ou sont
// mal alignées pour des flottants.
std::span<const float> voie(const TamponBloc& tampon) {
  if (tampon.donnees == nullptr) return {};
  if (reinterpret_cast<std::uintptr_t>(tampon.donnees) % alignof(float) != 0) return {};
  return {static_cast<const float*>(tampon.donnees), tampon.octets / sizeof(float)};
}

}  // namespace

void traiterBloc(const ContexteRappel& contexte, std::span<const TamponBloc> tampons,
                 const HorodatageBloc& horodatage) {
  const std::uint32_t octets = tampons.empty() ? 0 : tampons[0].octets;
  const std::uint32_t trames = contexte.octetsParTrame == 0 ? 0 : octets / contexte.octetsParTrame;
  contexte.livraisons->modifier([trames](Livraisons& l) {
    l.rappels += 1;
    l.trames += trames;
  });
  if (trames < 1 || contexte.conversion.empty()) return;

  std::span<const float> gauche;
  std::span<const float> droite;
  std::size_t pas = 1;
  if (contexte.entrelace) {
    gauche = voie(tampons[0]);
    if (gauche.empty()) return;
    droite = gauche.subspan(1);
    pas = 2;
  } else {
    if (tampons.size() < 2) return;
    gauche = voie(tampons[0]);
    droite = voie(tampons[1]);
  }
  if (gauche.empty() || droite.empty()) return;

  const std::size_t n = ConversionPCM::entrelacer(gauche, droite, pas, trames, contexte.conversion);
  if (n < 1) return;

  double somme = 0;
  for (std::size_t i = 0; i < 2 * n; ++i) {
    const double s = contexte.conversion[i] / 32768.0;
    somme += s * s;
  }
  contexte.niveauDuBloc->ecrire(static_cast<float>(std::sqrt(somme / static_cast<double>(2 * n))));

  std::optional<InstantNs> captureNs;
  if ((horodatage.drapeaux & HorodatageBloc::heureHoteValide) != 0) captureNs = horodatage.hoteNs;
  const VueOctets pcm(reinterpret_cast<const std::uint8_t*>(contexte.conversion.data()),
                      n * TamponAudio::octetsParTrame);
  contexte.tampon->ecrire(pcm, captureNs);
}

}  // namespace ravlo
