// SPDX-License-Identifier: MPL-2.0
#include "plateforme/espeak/synthese_espeak.hpp"

#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <string>

namespace ravlo {
namespace {

std::mutex verrouEspeak;

int recevoirVoix(short* echantillons, int nombre, espeak_EVENT* evenements) {
  if (echantillons == nullptr || nombre <= 0 || evenements == nullptr) return 0;
  auto* voix = static_cast<std::vector<std::int16_t>*>(evenements->user_data);
  if (voix != nullptr) voix->insert(voix->end(), echantillons, echantillons + nombre);
  return 0;  // continuer
}

}  // namespace

SyntheseEspeak::~SyntheseEspeak() {
  const std::scoped_lock garde(verrouEspeak);
  if (frequence_ > 0) espeak_Terminate();
}

std::expected<VoixSynthetisee, std::string> SyntheseEspeak::synthetiser(std::string_view texte,
                                                                        std::string_view langue) {
  const std::scoped_lock garde(verrouEspeak);
  if (frequence_ <= 0) {
    // Sans ce drapeau, la bibliothèque termine le processus quand ses données manquent.
    frequence_ =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (frequence_ <= 0) {
      frequence_ = 0;
      return std::unexpected("espeak-ng : données introuvables (espeak-ng-data)");
    }
    espeak_SetSynthCallback(recevoirVoix);
  }
  const std::string nomVoix(langue);
  if (espeak_SetVoiceByName(nomVoix.c_str()) != EE_OK)
    return std::unexpected("espeak-ng : voix « " + nomVoix + " » introuvable");
  VoixSynthetisee voix;
  voix.frequence = frequence_;
  const std::string phrase(texte);
  const espeak_ERROR e = espeak_Synth(phrase.c_str(), phrase.size() + 1, 0, POS_CHARACTER, 0,
                                      espeakCHARS_UTF8, nullptr, &voix.echantillons);
  if (e != EE_OK)
    return std::unexpected("espeak-ng : synthèse refusée (" + std::to_string(e) + ")");
  if (voix.echantillons.empty()) return std::unexpected("espeak-ng : aucune voix produite");
  return voix;
}

}  // namespace ravlo
