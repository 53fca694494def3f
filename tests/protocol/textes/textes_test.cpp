// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"
#include "protocol/textes/catalogue_essai.hpp"
#include "protocol/textes/catalogue_textes.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Catalogues .mo et noms affichables. La lecture de fichiers abîmés quelconques est l'affaire
// de fuzz_catalogue_textes.

// Le catalogue d'essai tel que msgfmt l'a compilé, dans le boutisme de la machine (sa phrase
// traduite : TableTextes.* ; les catalogues livrés, clé par clé : Catalogues.*) : le pluriel
// rangé au singulier, rien pour une phrase non traduite. Puis 64 entrées qui se chevauchent sur
// les mêmes 1000 octets : 115 Ko à copier de 2 Ko, refusé.
TEST(CatalogueTextes, LitCeQueMsgfmtProduitEtRefuseTropDeTexte) {
  std::ifstream flux(essai::moAnglais, std::ios::binary);
  const auto catalogue = CatalogueTextes::lire(Octets(std::istreambuf_iterator<char>(flux), {}));
  ASSERT_TRUE(catalogue.has_value());
  EXPECT_EQ(catalogue->traduire("Un paquet"), "One packet");
  EXPECT_EQ(catalogue->traduire("Une phrase sans traduction"), std::nullopt);

  Octets chevauche(28 + 2 * 64 * 8 + 1000, 'a');
  for (const auto& [position, valeur] :
       {std::pair{0, 0x950412de}, {4, 0}, {8, 64}, {12, 28}, {16, 28 + 64 * 8}}) {
    ecrirePetitBoutiste(chevauche.data() + position, static_cast<std::uint32_t>(valeur));
  }
  for (std::uint32_t i = 0; i < 2 * 64; ++i) {
    ecrirePetitBoutiste(chevauche.data() + 28 + 8 * i, std::uint32_t{900});
    ecrirePetitBoutiste(chevauche.data() + 32 + 8 * i, 28 + 2 * 64 * 8 + i % 64);
  }
  EXPECT_EQ(CatalogueTextes::lire(chevauche), std::unexpected(ErreurCatalogue::tropDeTexte));
}

std::string fois(std::string_view motif, int n) {
  std::string s;
  while (n-- > 0) s += motif;
  return s;
}

// Contrôles (Cc) et formats (Cf) retirés, puis coupe à 128 octets par caractères entiers.
TEST(NomAffichable, NettoyeEtCoupeParCaracteresEntiers) {
  const std::pair<std::string, std::string> cas[] = {
      {"Poste\tde\nLéa\xc2\x85\x7f", "PostedeLéa"},
      {"a\u200db\u200fc\ufeffd\u00ade", "abcde"},
      {fois("a\t", 130), fois("a", 128)},
      {fois("\U0001F1EB\U0001F1F7", 20), fois("\U0001F1EB\U0001F1F7", 16)},
      {fois("e\u0301", 50), fois("e\u0301", 42)},
      {fois("x", 125) + "\U0001F44B\U0001F3FD", fois("x", 125)},
      {"Poste\xff", "Poste\ufffd"}};
  for (const auto& [nom, attendu] : cas) EXPECT_EQ(nomAffichable(nom), attendu) << nom;
}

// Une phrase par sens d'erreur ; un code POSIX n'a pas ce sens dans un autre domaine. Sans
// traducteur, le français rendu est la clé elle-même.
TEST(MessageErreurReseau, UnePhraseParSensDErreur) {
  using D = DomaineErreurReseau;
  for (const auto& [domaine, code, debut] :
       {std::tuple<D, std::int64_t, std::string>{D::posix, ENETUNREACH,
                                                 "Cet ordinateur n'est connecté"},
        {D::posix, EHOSTUNREACH, "Le récepteur ne répond pas."},
        {D::posix, ECONNREFUSED, "Le récepteur refuse la connexion."},
        {D::posix, EACCES, "Le système interdit le réseau local"},
        {D::dnssd, -65570, "Le système interdit le réseau local"},
        {D::dnssd, -65563, "Le service avahi-daemon ne tourne pas"},
        {D::autre, -65563, "Problème réseau inattendu (code -65563)."},
        {D::dnssd, ECONNREFUSED, "Problème réseau inattendu (code 111)."},
        {D::autre, INT64_MIN, "Problème réseau inattendu (code -9223372036854775808)."}}) {
    EXPECT_TRUE(MessageErreurReseau::texte({domaine, code}, "fr_FR.UTF-8").starts_with(debut))
        << code;
  }
  // Le modèle traduit reçoit le code ; "%%" y devient "%".
  lierTraducteur([](std::string_view, std::string_view locale) {
    return std::string(locale) + " : code %lld, 100%% sûr";
  });
  EXPECT_EQ(MessageErreurReseau::texte({D::autre, -42}, "en"), "en : code -42, 100% sûr");
  lierTraducteur({});
}

}  // namespace
}  // namespace ravlo
