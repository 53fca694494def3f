// SPDX-License-Identifier: MPL-2.0
#include "plateforme/sortie_audio.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

// Chaque texte écrit en toutes lettres dans un appel à `texte`, pour que l'extraction des
// textes le trouve.
std::string texteErreurSortie(const ErreurSortie& erreur, std::string_view locale) {
  switch (erreur.cas) {
    case ErreurSortie::Cas::serveurInjoignable:
      return texte("le serveur de son (PulseAudio ou PipeWire) ne répond pas", locale);
    case ErreurSortie::Cas::serveurPerdu:
      return texte("le serveur de son s'est arrêté ou a redémarré", locale);
    case ErreurSortie::Cas::sortieIntrouvable:
      return texte("la sortie de son demandée n'existe pas ou a disparu", locale);
    case ErreurSortie::Cas::accesRefuse:
      return texte("le serveur de son a refusé l'accès", locale);
    case ErreurSortie::Cas::delaiDepasse:
      return texte("le serveur de son n'a pas répondu à temps", locale);
    case ErreurSortie::Cas::fichier:
      return texte("le fichier WAV ne s'écrit plus", locale);
    case ErreurSortie::Cas::peripheriqueIntrouvable:
      return texte("ce périphérique ALSA n'existe pas (aplay -L liste ceux de la machine)", locale);
    case ErreurSortie::Cas::peripheriqueOccupe:
      return texte("ce périphérique ALSA est pris par un autre programme", locale);
    case ErreurSortie::Cas::peripheriqueRefuse:
      return texte("l'accès à ce périphérique ALSA est refusé (groupe audio ?)", locale);
    case ErreurSortie::Cas::formatRefuse:
      return texte("ce périphérique ALSA ne joue pas 48 kHz stéréo 16 bits (plughw: convertit)",
                   locale);
    case ErreurSortie::Cas::peripheriquePerdu:
      return texte("le périphérique ALSA a disparu", locale);
    case ErreurSortie::Cas::autre:
      break;
  }
  return texte("le serveur de son a refusé le flux de lecture", locale);
}

}  // namespace ravlo
