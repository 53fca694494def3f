#include "protocol/message_erreur_reseau.hpp"

#include <gtest/gtest.h>
#include <cerrno>

#include "protocol/table_textes.hpp"

namespace ravlo {
namespace {

// Les clés de la table : la racine d'essai n'a pas de catalogue français, le français rendu
// est donc la clé elle-même.
const std::string horsReseau =
    "Ce Mac n'est connecté à aucun réseau. Active le Wi-Fi et rejoins le même réseau que "
    "l'iPhone.";
const std::string sansReponse =
    "L'iPhone ne répond pas. Vérifie qu'il est sur le même Wi-Fi que ce Mac et que Ravlo y est "
    "ouverte.";
const std::string refus = "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.";
const std::string reseauLocal =
    "macOS interdit le réseau local à Ravlo Link. Ouvre Réglages Système → Confidentialité et "
    "sécurité → Réseau local, et active Ravlo Link.";

std::string generique(const std::string& code) {
  return "Problème réseau inattendu (code " + code +
         "). Vérifie le Wi-Fi de ce Mac et de l'iPhone, puis réessaie.";
}

std::string enFrancais(DomaineErreurReseau domaine, std::int64_t code) {
  return MessageErreurReseau::texte(ErreurReseau{domaine, code}, "fr_FR.UTF-8");
}

TEST(MessageErreurReseau, UnePhraseParSensDErreur) {
  lierTableTextes(RAVLO_LOCALES_TEST);
  using D = DomaineErreurReseau;
  for (int code : {ENETDOWN, ENETUNREACH, ENOTCONN})
    EXPECT_EQ(enFrancais(D::posix, code), horsReseau);
  for (int code : {ETIMEDOUT, EHOSTDOWN, EHOSTUNREACH}) {
    EXPECT_EQ(enFrancais(D::posix, code), sansReponse);
  }
  EXPECT_EQ(enFrancais(D::posix, ECONNREFUSED), refus);
  for (int code : {EPERM, EACCES}) EXPECT_EQ(enFrancais(D::posix, code), reseauLocal);
  EXPECT_EQ(enFrancais(D::dnssd, -65555), reseauLocal);
  EXPECT_EQ(enFrancais(D::dnssd, -65570), reseauLocal);

  EXPECT_EQ(enFrancais(D::posix, ECONNRESET), generique(std::to_string(ECONNRESET)));
  EXPECT_EQ(enFrancais(D::dnssd, -65554), generique("-65554"));
  // Un code POSIX de refus n'a pas ce sens dans un autre domaine.
  EXPECT_EQ(enFrancais(D::dnssd, ECONNREFUSED), generique(std::to_string(ECONNREFUSED)));
  EXPECT_EQ(enFrancais(D::autre, EPERM), generique(std::to_string(EPERM)));
  EXPECT_EQ(enFrancais(D::autre, INT64_MIN), generique("-9223372036854775808"));
}

TEST(MessageErreurReseau, TraduitSelonLaLocaleDonnee) {
  lierTableTextes(RAVLO_LOCALES_TEST);
  EXPECT_EQ(MessageErreurReseau::texte({DomaineErreurReseau::posix, ECONNREFUSED}, "en_US.UTF-8"),
            "The iPhone refuses the connection. Open Ravlo on the iPhone, then try again.");
  // Le modèle traduit reçoit le code ; "%%" y devient "%".
  EXPECT_EQ(MessageErreurReseau::texte({DomaineErreurReseau::autre, -42}, "en"),
            "Unexpected network problem (code -42, 100% sure). Check the Wi-Fi of this Mac and "
            "of the iPhone, then try again.");
  EXPECT_EQ(MessageErreurReseau::texte({DomaineErreurReseau::posix, ETIMEDOUT}, "en"), sansReponse)
      << "phrase sans traduction : le français";
}

}  // namespace
}  // namespace ravlo
