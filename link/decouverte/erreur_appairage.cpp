// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/erreur_appairage.hpp"

#include "protocol/supervision/message_erreur_reseau.hpp"
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
      // Pause contre les essais en série ou code fixe déjà servi : le fil ne les distingue pas,
      // et seul le relancement vient à bout du second.
      return texte(
          "Le récepteur n'accepte pas d'appairage pour l'instant : il fait une pause après des "
          "codes faux, ou son code fixe a déjà servi. Relance le récepteur pour qu'il affiche "
          "un nouveau code, puis tape-le.",
          locale);
    case ErreurAppairage::codeMalForme:
      return texte("Le code doit faire exactement 4 chiffres.", locale);
  }
  return {};
}

std::string texte(const EchecDialogue& echec, std::string_view locale) {
  if (const auto* e = std::get_if<ErreurAppairage>(&echec)) return texte(*e, locale);
  return MessageErreurReseau::texte(std::get<ErreurReseau>(echec), locale);
}

}  // namespace ravlo
