#include "protocol/texte_unicode.hpp"

#include <gtest/gtest.h>

#include <string>

namespace ravlo {
namespace {

std::string fois(std::string_view motif, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += motif;
  return s;
}

TEST(NomAffichable, CourtEtPropreInchange) {
  EXPECT_EQ(nomAffichable("Poste de Léa"), "Poste de Léa");
  EXPECT_EQ(nomAffichable(""), "");
  EXPECT_EQ(nomAffichable(fois("a", 128)), fois("a", 128));
}

TEST(NomAffichable, ControlesEtFormatsRetires) {
  // Tabulation, saut de ligne, NEL et DEL (Cc) ; ZWJ, marque de sens, BOM, trait d'union
  // conditionnel (Cf).
  EXPECT_EQ(nomAffichable("Mac\tde\nLéa\xc2\x85\x7f"), "MacdeLéa");
  EXPECT_EQ(nomAffichable("a\u200db\u200fc\ufeffd\u00ade"), "abcde");
  // Une famille jointe par ZWJ perd ses jointures et devient quatre émojis.
  EXPECT_EQ(nomAffichable("\U0001F468\u200d\U0001F469\u200d\U0001F467\u200d\U0001F466"),
            "\U0001F468\U0001F469\U0001F467\U0001F466");
  EXPECT_EQ(nomAffichable("\t\u200b\n"), "") << "peut devenir vide";
}

TEST(NomAffichable, CoupeParCaracteresEntiers) {
  EXPECT_EQ(nomAffichable(fois("a", 200)), fois("a", 128));
  // Drapeaux de 8 octets : 16 tiennent exactement.
  EXPECT_EQ(nomAffichable(fois("\U0001F1EB\U0001F1F7", 20)), fois("\U0001F1EB\U0001F1F7", 16));
  // « é » décomposé (3 octets, un caractère) : 42 tiennent (126 octets) ; une coupe à
  // l'octet en garderait 128 en séparant le dernier accent de sa lettre.
  EXPECT_EQ(nomAffichable(fois("e\u0301", 50)), fois("e\u0301", 42));
  // Main et teinte de peau (8 octets, un caractère) après 125 octets ASCII : rien n'en reste.
  EXPECT_EQ(nomAffichable(fois("x", 125) + "\U0001F44B\U0001F3FD"), fois("x", 125));
  // Retrait des contrôles avant la coupe : 130 « a » séparés de tabulations en gardent 128.
  EXPECT_EQ(nomAffichable(fois("a\t", 130)), fois("a", 128));
}

TEST(NomAffichable, OctetsMalFormesRemplaces) {
  const std::string nom = nomAffichable("Mac\xff\xc3");
  EXPECT_TRUE(
      estUtf8Strict(VueOctets(reinterpret_cast<const std::uint8_t*>(nom.data()), nom.size())));
  EXPECT_EQ(nom.substr(0, 3), "Mac");
  EXPECT_NE(nom.find("\ufffd"), std::string::npos);
}

bool strict(std::initializer_list<std::uint8_t> octets) {
  return estUtf8Strict(Octets(octets));
}

TEST(Utf8Strict, AccepteLeBienForme) {
  EXPECT_TRUE(strict({}));
  EXPECT_TRUE(strict({'a', 0x00, 'b'})) << "NUL est un scalaire comme un autre";
  EXPECT_TRUE(strict({0xc3, 0xa9}));
  EXPECT_TRUE(strict({0xe2, 0x82, 0xac}));
  EXPECT_TRUE(strict({0xf0, 0x9f, 0x98, 0x80}));
  EXPECT_TRUE(strict({0xf4, 0x8f, 0xbf, 0xbf})) << "U+10FFFF";
  EXPECT_TRUE(strict({0xef, 0xbf, 0xbf})) << "non-caractère U+FFFF, mais scalaire valide";
}

TEST(Utf8Strict, RefuseLeMalForme) {
  EXPECT_FALSE(strict({0x80})) << "suite isolée";
  EXPECT_FALSE(strict({0xc3})) << "séquence tronquée";
  EXPECT_FALSE(strict({0xe2, 0x82})) << "séquence tronquée";
  EXPECT_FALSE(strict({0xc0, 0x80})) << "NUL trop long";
  EXPECT_FALSE(strict({0xe0, 0x80, 0xaf})) << "« / » trop long";
  EXPECT_FALSE(strict({0xed, 0xa0, 0x80})) << "demi-code U+D800";
  EXPECT_FALSE(strict({0xf4, 0x90, 0x80, 0x80})) << "au-delà de U+10FFFF";
  EXPECT_FALSE(strict({0xff}));
  EXPECT_FALSE(strict({'a', 0xc3, 'b'}));
}

}  // namespace
}  // namespace ravlo
