#include "link/decouverte/erreur_appairage.hpp"

#include "protocol/textes/textes.hpp"

namespace ravlo {

std::string texte(ErreurAppairage erreur, std::string_view locale) {
  switch (erreur) {
    case ErreurAppairage::pasDeReponse:
      return texte(
          "L'iPhone n'a pas répondu. Vérifie qu'il est sur le même Wi-Fi que ce Mac, et que "
          "l'app Ravlo y est ouverte.",
          locale);
    case ErreurAppairage::iPhoneAncien:
      return texte(
          "L'app Ravlo de cet iPhone est trop ancienne pour ce Mac. Mets-la à jour, puis "
          "réessaie.",
          locale);
    case ErreurAppairage::refusAvantDevoilement:
      return texte(
          "Le récepteur n'accepte pas d'appairage pour l'instant. Réessaie dans un moment.",
          locale);
  }
  return {};
}

}  // namespace ravlo
