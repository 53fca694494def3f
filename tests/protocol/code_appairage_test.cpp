#include "protocol/code_appairage.hpp"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "protocol/hasard_deterministe.hpp"
#include "protocol/hasard_systeme.hpp"

namespace ravlo {
namespace {

std::optional<std::string> chiffresDe(std::string_view saisie) {
  const auto code = CodeAppairage::depuisSaisie(saisie);
  if (!code) return std::nullopt;
  return code->chiffres();
}

TEST(CodeAppairage, SaisieRogneeDesEspacesUnicodeEtTabulations) {
  EXPECT_EQ(chiffresDe(" 0042 "), "0042");
  EXPECT_EQ(chiffresDe("1234"), "1234");
  EXPECT_EQ(chiffresDe("\t9999\t"), "9999");
  EXPECT_EQ(chiffresDe("\u00a0\u30001234\u2003"), "1234")
      << "insécable, idéographique, cadratin (Zs)";
  EXPECT_EQ(chiffresDe("\u202f0000"), "0000");
}

TEST(CodeAppairage, SaisiesRefusees) {
  for (const char* saisie : {"42", "12a4", "12345", "", "    ",
                             "\u0660\u0660\u0664\u0662",  // chiffres arabes-indiens
                             "\uff11\uff12\uff13\uff14",  // chiffres pleine chasse
                             "1234\n", "\n1234", "1234\r",
                             "\xc2\x85"
                             "1234",                 // fins de ligne non rognées
                             "\u200b1234",           // espace sans chasse : Cf, pas Zs
                             "12 34", "1234\u0301",  // marque combinante : grappe non ASCII
                             "\xff"
                             "1234",
                             "1234\xc3",  // octets mal formés
                             "+123", "-123", "0x12"}) {
    EXPECT_EQ(chiffresDe(saisie), std::nullopt) << saisie;
  }
}

std::vector<int> rangsDe(const CodeAppairage& code) {
  std::vector<int> rangs;
  for (int r = -1; r <= 40; ++r) {
    if (code.bit(r)) rangs.push_back(r);
  }
  return rangs;
}

TEST(CodeAppairage, BitsDeLaValeur) {
  EXPECT_EQ(rangsDe(*CodeAppairage::depuisSaisie("0042")), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(rangsDe(*CodeAppairage::depuisSaisie("8192")), (std::vector<int>{13}));
  // 9999 = 0b10011100001111 : le rang 13 est bien levé.
  EXPECT_EQ(rangsDe(*CodeAppairage::depuisSaisie("9999")),
            (std::vector<int>{0, 1, 2, 3, 8, 9, 10, 13}));
  EXPECT_EQ(rangsDe(*CodeAppairage::depuisSaisie("0000")), std::vector<int>{});
}

TEST(CodeAppairage, AleatoireToujoursQuatreChiffresEtVarie) {
  std::set<std::string> vus;
  for (int i = 0; i < 200; ++i) {
    const CodeAppairage code = CodeAppairage::aleatoire();
    ASSERT_EQ(CodeAppairage::depuisSaisie(code.chiffres()), code) << code.chiffres();
    vus.insert(code.chiffres());
  }
  // 200 tirages parmi 10 000 : au moins 180 distincts sauf malchance de l'ordre de 10⁻²⁰.
  EXPECT_GT(vus.size(), 180u);
}

TEST(Hasard, SystemeRendLeNombreDemande) {
  HasardSysteme hasard;
  EXPECT_TRUE(hasard.octetsAleatoires(0).empty());
  EXPECT_EQ(hasard.octetsAleatoires(8).size(), 8u);
  EXPECT_NE(hasard.octetsAleatoires(32), hasard.octetsAleatoires(32));
}

TEST(Hasard, DeterministeReproductibleEtDUnSeulTenant) {
  HasardDeterministe a(7), b(7), c(8);
  const Octets tout = a.octetsAleatoires(8 + 32 + 16 * 10);
  Octets morceaux;
  for (std::size_t n : {8, 32, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16}) {
    const Octets m = b.octetsAleatoires(n);
    morceaux.insert(morceaux.end(), m.begin(), m.end());
  }
  EXPECT_EQ(tout, morceaux);
  EXPECT_EQ(b.octetsTires(), tout.size());
  EXPECT_NE(c.octetsAleatoires(40), Octets(tout.begin(), tout.begin() + 40));
}

}  // namespace
}  // namespace ravlo
