// SPDX-License-Identifier: MPL-2.0
// Tient une capture silencieuse jusqu'à sa mort, construite comme celle de ravlo-envoi (état
// dans le répertoire par défaut) : de quoi tuer net un programme qui a fait taire l'ordinateur.
// Écrit « silence pret » quand le silence est en place.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "link/capture/capture_systeme.hpp"
#include "plateforme/pulseaudio/capture_pulse.hpp"

int main() {
  ravlo::CaptureSysteme prise(std::make_shared<ravlo::TamponAudio>(96'000), true,
                              std::make_unique<ravlo::CapturePulse>());
  if (!prise.demarrer().has_value()) return 1;
  std::printf("silence pret\n");
  std::fflush(stdout);
  for (;;) ::pause();
}
