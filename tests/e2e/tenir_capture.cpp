// Tient une capture silencieuse jusqu'à sa mort : de quoi tuer net un programme qui a fait
// taire l'ordinateur. Écrit « pret » quand le silence est en place.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "link/capture/system_audio_tap.hpp"
#include "link/plateforme/pulseaudio/plateforme_pulse.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage : %s REPERTOIRE_ETAT\n", argv[0]);
    return 2;
  }
  auto tampon = std::make_shared<ravlo::TamponAudio>(96'000);
  auto plateforme = std::make_shared<ravlo::PlateformePulse>(argv[1]);
  ravlo::SystemAudioTap tap(tampon, true, plateforme);
  if (const auto r = tap.demarrer(); !r.has_value()) {
    std::fprintf(stderr, "%s\n", r.error().description().c_str());
    return 1;
  }
  std::printf("pret\n");
  std::fflush(stdout);
  for (;;) {
    ::pause();
  }
}
