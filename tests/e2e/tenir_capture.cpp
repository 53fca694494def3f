// SPDX-License-Identifier: MPL-2.0
// Tient une capture silencieuse jusqu'à sa mort (argument : répertoire d'état) : de quoi tuer
// net un programme qui a fait taire l'ordinateur. Écrit « pret » quand le silence est en place.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "link/capture/capture_systeme.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"

int main(int, char** argv) {
  ravlo::CaptureSysteme prise(std::make_shared<ravlo::TamponAudio>(96'000), true,
                              std::make_unique<ravlo::CapturePulse>(argv[1]));
  if (!prise.demarrer().has_value()) return 1;
  std::printf("pret\n");
  std::fflush(stdout);
  for (;;) ::pause();
}
