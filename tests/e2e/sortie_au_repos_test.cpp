// Ce que la surveillance de la capture suppose du vrai système de son : une sortie au repos
// livre du silence sans trou, et seule une capture coupée (ici, la sortie suspendue) cesse de
// livrer, sans aucune erreur (sous PipeWire, qui ne suspend pas une sortie écoutée, on
// délie son moniteur). Contre le démon d'essai des scripts/services.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "link/capture/system_audio_tap.hpp"
#include "link/plateforme/pulseaudio/plateforme_pulse.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Horloge = std::chrono::steady_clock;

// Le plus long intervalle sans trame nouvelle pendant `duree`, relevé toutes les 20 ms.
Horloge::duration plusLongTrou(const SystemAudioTap& tap, Horloge::duration duree) {
  const auto fin = Horloge::now() + duree;
  auto vu = tap.livraisons().trames;
  auto depuis = Horloge::now();
  Horloge::duration pire{};
  while (Horloge::now() < fin) {
    std::this_thread::sleep_for(20ms);
    const auto trames = tap.livraisons().trames;
    if (trames != vu) {
      vu = trames;
      depuis = Horloge::now();
    }
    pire = std::max(pire, Horloge::now() - depuis);
  }
  return pire;
}

TEST(DemonPulseRepos, UneSortieAuReposLivreSansTrouEtUneSortieSuspendueSeTaitSansErreur) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "sans démon d'essai";
  char modele[] = "/tmp/ravlo-repos.XXXXXX";
  ASSERT_NE(::mkdtemp(modele), nullptr);
  const std::filesystem::path dossier = modele;
  auto tampon = std::make_shared<TamponAudio>(192'000);
  SystemAudioTap tap(tampon, false, std::make_shared<PlateformePulse>(dossier.string()));
  ASSERT_TRUE(tap.demarrer().has_value());
  // Le moniteur d'une sortie nulle au repos livre ses premières trames après ~1,9 s.
  for (int i = 0; i < 300 && tap.livraisons().trames == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_GT(tap.livraisons().trames, 0);

  const auto avant = tap.livraisons().trames;
  const auto trouAuRepos = plusLongTrou(tap, 3s);
  const auto trames = tap.livraisons().trames - avant;
  EXPECT_LT(trouAuRepos, 500ms) << "bien en deçà des 2 s de la surveillance";
  EXPECT_NEAR(static_cast<double>(trames), 3 * 48'000.0, 48'000.0 / 4);
  EXPECT_FLOAT_EQ(tap.niveauDuBloc(), 0.0F);

  essai::couperMoniteur("speakers");
  std::this_thread::sleep_for(300ms);
  const auto trouSuspendu = plusLongTrou(tap, 2500ms);
  essai::reprendreMoniteur("speakers");
  EXPECT_GE(trouSuspendu, 2s) << "une capture coupée ne livre plus rien";
  tap.arreter();
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
