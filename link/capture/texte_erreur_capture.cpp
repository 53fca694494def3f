// SPDX-License-Identifier: MPL-2.0
#include "link/capture/texte_erreur_capture.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Chaque texte écrit en toutes lettres dans un appel à `texte`, pour que l'extraction des
// textes le trouve.
std::string modele(ErreurCapture::Cas cas, std::string_view locale) {
  using Cas = ErreurCapture::Cas;
  switch (cas) {
    case Cas::serveurInjoignable:
      return texte(
          "Le son de cet ordinateur n'a pas pu être capté : le serveur de son ne répond pas "
          "(code %lld).\nVérifie que PulseAudio ou PipeWire (avec pipewire-pulse) tourne dans "
          "ta session, puis relance l'envoi.",
          locale);
    case Cas::sortieIntrouvable:
      return texte(
          "Cet ordinateur n'a pas de sortie de son à capter (code %lld). Choisis une sortie "
          "dans les réglages du son, puis relance l'envoi.",
          locale);
    case Cas::silenceImpossible:
      return texte(
          "Le serveur de son n'a pas laissé Ravlo Link taire cet ordinateur (code %lld). "
          "Relance l'envoi, ou envoie sans taire l'ordinateur.",
          locale);
    case Cas::fluxImpossible:
      return texte(
          "Le son de cet ordinateur n'a pas pu être capté (code %lld). Vérifie que le serveur "
          "de son (PulseAudio ou PipeWire) tourne dans ta session, puis relance l'envoi.",
          locale);
    case Cas::sortiePerdue:
      return texte("La sortie de son captée a disparu sans relève (code %lld). Relance l'envoi.",
                   locale);
  }
  return texte(
      "Le son de cet ordinateur n'a pas pu être capté (code %lld). Vérifie que le serveur "
      "de son (PulseAudio ou PipeWire) tourne dans ta session, puis relance l'envoi.",
      locale);
}

}  // namespace

std::string texteErreurCapture(const ErreurCapture& erreur, std::string_view locale) {
  return avecCode(modele(erreur.cas, locale), erreur.code);
}

}  // namespace ravlo
