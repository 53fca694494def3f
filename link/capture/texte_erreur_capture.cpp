#include "link/capture/texte_erreur_capture.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Met le code à la place du « %lld » d'un modèle traduit, et « % » à la place de « %% ».
// Sans printf : une traduction fautive (une marque de trop ou de moins) ne peut ni lire la
// pile ni planter ; une marque sans valeur reste telle quelle.
std::string remplir(std::string_view modele, std::int64_t code) {
  std::string sortie;
  bool place = false;
  for (std::size_t i = 0; i < modele.size(); ++i) {
    const std::string_view reste = modele.substr(i);
    if (reste.starts_with("%%")) {
      sortie += '%';
      ++i;
    } else if (!place && reste.starts_with("%lld")) {
      sortie += std::to_string(code);
      place = true;
      i += 3;
    } else {
      sortie += modele[i];
    }
  }
  return sortie;
}

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
  return remplir(modele(erreur.cas, locale), erreur.code);
}

}  // namespace ravlo
