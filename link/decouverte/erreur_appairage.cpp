#include "link/decouverte/erreur_appairage.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {

std::string texte(ErreurAppairage erreur, std::string_view locale) {
  switch (erreur) {
    case ErreurAppairage::pasDeReponse:
      return texte(
          "Le récepteur n'a pas répondu. Vérifie qu'il est sur le même réseau que cet ordinateur, "
          "et que l'app Ravlo ou ravlo-recepteur y tourne.",
          locale);
    case ErreurAppairage::recepteurAncien:
      return texte(
          "Le récepteur Ravlo est trop ancien pour cet ordinateur. Mets-le à jour, puis réessaie.",
          locale);
    case ErreurAppairage::refusAvantDevoilement:
      return texte(
          "Le récepteur n'accepte pas d'appairage pour l'instant. Réessaie dans un moment.",
          locale);
  }
  return {};
}

}  // namespace ravlo
