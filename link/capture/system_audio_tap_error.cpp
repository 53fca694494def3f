#include "link/capture/system_audio_tap_error.hpp"

#include <utility>

#include "link/capture/textes_capture.hpp"

namespace ravlo {

SystemAudioTapError SystemAudioTapError::tapImpossible(std::int32_t code) {
  return {CasSystemAudioTapError::tapImpossible, code, {}, {}};
}

SystemAudioTapError SystemAudioTapError::coreAudio(std::string_view etape, std::int32_t code) {
  return {CasSystemAudioTapError::coreAudio, code, std::string(etape), {}};
}

SystemAudioTapError SystemAudioTapError::formatInattendu(std::string phrase) {
  return {CasSystemAudioTapError::formatInattendu, 0, {}, std::move(phrase)};
}

std::string SystemAudioTapError::description() const {
  switch (cas) {
    case CasSystemAudioTapError::tapImpossible:
      return textesCapture::remplir(
          textesCapture::traduire(
              "macOS n'a pas laissé Ravlo Link capter le son de ce Mac (code %d).\n"
              "La cause la plus fréquente est l'autorisation : ouvre Réglages Système → "
              "Confidentialité et sécurité → Enregistrement de l'écran et des sons du système, "
              "et active Ravlo Link."),
          {std::to_string(code)});
    case CasSystemAudioTapError::coreAudio:
      return textesCapture::remplir(
          textesCapture::traduire("Le son de ce Mac n'a pas pu être capté (étape « %s », code "
                                  "%d). Quitte Ravlo Link, rouvre-le, puis relance l'envoi."),
          {textesCapture::traduire(etape), std::to_string(code)});
    case CasSystemAudioTapError::formatInattendu:
      return phrase;
  }
  return phrase;
}

}  // namespace ravlo
