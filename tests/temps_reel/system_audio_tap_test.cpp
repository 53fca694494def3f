#include "link/capture/system_audio_tap.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "faux/plateforme_audio_fausse.hpp"
#include "temps_reel/compteur_allocations.hpp"

namespace ravlo {
namespace {

// Le rappel de capture tel que le système de son l'appelle : blocs pleins, trop grands,
// troués, sans heure, jusqu'à remplir l'anneau. Rien n'est alloué.
TEST(TempsReel, LeRappelDeCaptureNAlloueRien) {
  auto tampon = std::make_shared<TamponAudio>(96'000);
  auto plateforme = std::make_shared<faux::PlateformeAudioFausse>();
  SystemAudioTap tap(tampon, false, plateforme);
  ASSERT_TRUE(tap.demarrer().has_value());
  std::vector<float> flux(2 * 10'000);
  for (std::size_t i = 0; i < flux.size(); ++i) flux[i] = static_cast<float>(i % 97) / 50.0f - 1;
  const TamponBloc normal[] = {{flux.data(), 240 * 8}};
  const TamponBloc geant[] = {{flux.data(), 10'000 * 8}};
  const TamponBloc trou[] = {{nullptr, 1920}};

  test::CompteurAllocations compteur;
  for (InstantNs i = 0; i < 100; ++i) {
    const HorodatageBloc heure{i % 7 == 3 ? 0u : HorodatageBloc::heureHoteValide, i * 5'000'000};
    ASSERT_TRUE(plateforme->livrer(i % 10 == 9 ? geant : i % 10 == 5 ? trou : normal, heure));
  }
  EXPECT_GT(tampon->perdus(), 0) << "le cas de l'anneau plein doit avoir été parcouru";
  EXPECT_EQ(compteur.allocations(), 0u);
}

}  // namespace
}  // namespace ravlo
