#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/conversion_pcm.hpp"
#include "protocol/tampon_audio.hpp"
#include "temps_reel/compteur_allocations.hpp"

namespace ravlo {
namespace {

TEST(TempsReel, LeCompteurVoitLesAllocations) {
  test::CompteurAllocations compteur;
  auto* v = new std::vector<int>(100);
  delete v;
  EXPECT_EQ(compteur.allocations(), 2u) << "sans cela, les tests ci-dessous ne prouvent rien";
}

// Le chemin de la capture : conversion puis écriture, acceptée, refusée ou sautant de segment.
TEST(TempsReel, CaptureEtEcritureDansLAnneauNAllouentRien) {
  TamponAudio tampon(4096);
  std::array<float, 512> flottants{};
  for (std::size_t i = 0; i < flottants.size(); ++i) flottants[i] = static_cast<float>(i) / 600.0f;
  std::array<std::int16_t, 512> pcm{};
  std::array<std::uint8_t, 1024> lu{};

  test::CompteurAllocations compteur;
  for (std::uint64_t bloc = 0; bloc < 40; ++bloc) {
    const std::span<const float> voies(flottants);
    ConversionPCM::entrelacer(voies, voies.subspan(1), 2, 256, pcm);
    const VueOctets octets(reinterpret_cast<const std::uint8_t*>(pcm.data()), sizeof pcm);
    // Heures tantôt continues, tantôt en saut, tantôt absentes : chaque cas du segment.
    const std::optional<InstantNs> heure =
        bloc % 5 == 4 ? std::nullopt : std::optional<InstantNs>(bloc * 10'000'000);
    tampon.ecrire(octets, heure);
    if (bloc % 3 == 0) tampon.lire(std::span<std::uint8_t>(lu));
    if (bloc % 7 == 0) tampon.jeter(512);
  }
  EXPECT_GT(tampon.perdus(), 0) << "le cas du refus doit avoir été parcouru";
  EXPECT_EQ(compteur.allocations(), 0u);
}

}  // namespace
}  // namespace ravlo
