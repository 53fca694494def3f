// SPDX-License-Identifier: MPL-2.0
#include "protocol/supervision/message_erreur_reseau.hpp"

#include <cerrno>

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

enum class Phrase : std::uint8_t {
  horsReseau,
  sansReponse,
  refus,
  reseauLocalInterdit,
  serviceAbsent,
  inattendu
};

Phrase phrasePosix(std::int64_t code) {
  switch (code) {
    case ENETDOWN:
    case ENETUNREACH:
    case ENOTCONN:
      return Phrase::horsReseau;
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
      return Phrase::sansReponse;
    case ECONNREFUSED:
      return Phrase::refus;
    case EPERM:
    case EACCES:
      return Phrase::reseauLocalInterdit;
    default:
      return Phrase::inattendu;
  }
}

Phrase phrase(ErreurReseau erreur) {
  switch (erreur.domaine) {
    case DomaineErreurReseau::posix:
      return phrasePosix(erreur.code);
    case DomaineErreurReseau::dnssd:
      switch (erreur.code) {
        case ErreurReseau::dnssdNonAutorise:
        case ErreurReseau::dnssdRefusParPolitique:
          return Phrase::reseauLocalInterdit;
        case ErreurReseau::dnssdServiceAbsent:
          return Phrase::serviceAbsent;
        default:
          return Phrase::inattendu;
      }
    case DomaineErreurReseau::autre:
      break;
  }
  return Phrase::inattendu;
}

}  // namespace

std::string MessageErreurReseau::texte(ErreurReseau erreur, std::string_view locale) {
  switch (phrase(erreur)) {
    case Phrase::horsReseau:
      return ravlo::texte(
          "Cet ordinateur n'est connecté à aucun réseau. Active sa connexion réseau (Wi-Fi ou "
          "câble) et rejoins le même réseau que le récepteur.",
          locale);
    case Phrase::sansReponse:
      return ravlo::texte(
          "Le récepteur ne répond pas. Vérifie qu'il est sur le même réseau que cet ordinateur et "
          "que l'app Ravlo ou ravlo-recepteur y tourne.",
          locale);
    case Phrase::refus:
      return ravlo::texte(
          "Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis "
          "réessaie.",
          locale);
    case Phrase::reseauLocalInterdit:
      return ravlo::texte(
          "Le système interdit le réseau local à Ravlo Link. Vérifie que le pare-feu laisse passer "
          "Ravlo Link (UDP, et mDNS sur le port 5353) et qu'avahi-daemon l'autorise, puis "
          "réessaie.",
          locale);
    case Phrase::serviceAbsent:
      return ravlo::texte(
          "Le service avahi-daemon ne tourne pas : sans lui, aucun récepteur ne se trouve sur le "
          "réseau local. Lance-le avec « sudo systemctl start avahi-daemon ».",
          locale);
    case Phrase::inattendu:
      break;
  }
  return avecCode(
      ravlo::texte("Problème réseau inattendu (code %lld). Vérifie la connexion réseau de cet "
                   "ordinateur et du récepteur, et qu'avahi-daemon tourne, puis réessaie.",
                   locale),
      erreur.code);
}

}  // namespace ravlo
