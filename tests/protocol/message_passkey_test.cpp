#include "protocol/message_passkey.hpp"

#include <gtest/gtest.h>

#include <numeric>

#include "echange_appairage.hpp"

namespace ravlo {
namespace {

constexpr std::uint64_t t = 0x0123456789abcdef;
const std::string enTeteHex = "5250";  // "RP"
const std::string tentativeHex = "efcdab8967452301";

Octets suite(std::uint8_t premier, std::size_t n) {
  Octets o(n);
  std::iota(o.begin(), o.end(), premier);
  return o;
}

bool invalide(const Octets& donnees) {
  return MessagePasskey::decoder(donnees) == std::unexpected(ErreurPasskey::formatInvalide);
}

std::vector<MessagePasskey> unDeChaqueCas() {
  return {MessagePasskey::debut(t, suite(1, 32), "Poste de Léa"),
          MessagePasskey::cle(t, suite(2, 32)),
          MessagePasskey::engagement(t, 13, suite(3, 32)),
          MessagePasskey::devoilement(t, 0, suite(4, 16)),
          MessagePasskey::confirmation(t, suite(5, 32)),
          MessagePasskey::refus(t)};
}

TEST(MessagePasskey, DispositionChampParChamp) {
  const std::string h = enTeteHex + "01";
  EXPECT_EQ(enHex(MessagePasskey::refus(t).donnees()), h + "05" + tentativeHex);
  EXPECT_EQ(enHex(MessagePasskey::debut(t, Octets(32, 0xaa), "Lé").donnees()),
            h + "00" + tentativeHex + std::string(64, 'a') + "03" + "4cc3a9");
  EXPECT_EQ(enHex(MessagePasskey::cle(t, Octets(32, 0xbb)).donnees()),
            h + "01" + tentativeHex + std::string(64, 'b'));
  EXPECT_EQ(enHex(MessagePasskey::engagement(t, 7, Octets(32, 0xcc)).donnees()),
            h + "02" + tentativeHex + "07" + std::string(64, 'c'));
  EXPECT_EQ(enHex(MessagePasskey::devoilement(t, 13, Octets(16, 0xdd)).donnees()),
            h + "03" + tentativeHex + "0d" + std::string(32, 'd'));
  EXPECT_EQ(enHex(MessagePasskey::confirmation(t, Octets(32, 0xee)).donnees()),
            h + "04" + tentativeHex + std::string(64, 'e'));
  const std::size_t tailles[] = {45 + 13, 44, 45, 29, 44, 12};
  std::size_t i = 0;
  for (const auto& m : unDeChaqueCas()) EXPECT_EQ(m.donnees().size(), tailles[i++]);
}

TEST(MessagePasskey, AllerRetourDeChaqueCas) {
  for (const auto& m : unDeChaqueCas()) {
    const auto lu = MessagePasskey::decoder(m.donnees());
    ASSERT_TRUE(lu.has_value()) << enHex(m.donnees());
    EXPECT_EQ(*lu, m);
  }
  EXPECT_EQ(*MessagePasskey::decoder(MessagePasskey::refus(UINT64_MAX).donnees()),
            MessagePasskey::refus(UINT64_MAX));
}

TEST(MessagePasskey, ToutMessageTronqueOuAllongeEstRefuse) {
  for (const auto& m : unDeChaqueCas()) {
    const Octets d = m.donnees();
    for (std::size_t n = 0; n < d.size(); ++n) {
      EXPECT_TRUE(invalide(Octets(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(n))))
          << enHex(d) << " coupé à " << n;
    }
    Octets plus = d;
    plus.push_back(0);
    EXPECT_TRUE(invalide(plus)) << enHex(d) << " + un octet";
  }
}

TEST(MessagePasskey, EnTeteRefuse) {
  const Octets refus = MessagePasskey::refus(t).donnees();
  for (auto [position, valeur] :
       {std::pair{0, 'X'}, {1, 'V'}, {2, 0x02}, {2, 0x00}, {3, 0x06}, {3, 0xff}}) {
    Octets d = refus;
    d[static_cast<std::size_t>(position)] = static_cast<std::uint8_t>(valeur);
    EXPECT_TRUE(invalide(d)) << position << "=" << valeur;
  }
  EXPECT_TRUE(invalide(Octets(refus.begin(), refus.begin() + 11)));
}

TEST(MessagePasskey, RangAuPlus13) {
  for (std::uint8_t cas : {2, 3}) {
    Octets d = cas == 2 ? MessagePasskey::engagement(t, 13, Octets(32)).donnees()
                        : MessagePasskey::devoilement(t, 13, Octets(16)).donnees();
    EXPECT_FALSE(invalide(d));
    d[12] = 14;
    EXPECT_TRUE(invalide(d)) << "cas " << int{cas};
    d[12] = 0xff;
    EXPECT_TRUE(invalide(d));
  }
}

TEST(MessagePasskey, LongueurDuNom) {
  const auto debut = [](std::size_t l) {
    return MessagePasskey::debut(t, Octets(32, 1), std::string(l, 'n')).donnees();
  };
  EXPECT_EQ(debut(0).size(), 45u);
  EXPECT_FALSE(invalide(debut(0)));
  EXPECT_FALSE(invalide(debut(128)));
  EXPECT_EQ(debut(128).size(), 173u);
  EXPECT_TRUE(invalide(debut(129))) << "L = 129 suivi de 129 octets";
  Octets desaccord = debut(5);
  desaccord[44] = 4;
  EXPECT_TRUE(invalide(desaccord));
  desaccord[44] = 6;
  EXPECT_TRUE(invalide(desaccord));
}

TEST(MessagePasskey, NomEnUtf8Strict) {
  Octets d = MessagePasskey::debut(t, Octets(32, 1), "ab").donnees();
  d[45] = 0xc3;
  EXPECT_TRUE(invalide(d)) << "séquence tronquée";
  for (Octets nom : {Octets{0xc0, 0x80}, Octets{0xed, 0xa0, 0x80}, Octets{0xff, 'a'}}) {
    Octets m = MessagePasskey::debut(t, Octets(32, 1), "").donnees();
    m[44] = static_cast<std::uint8_t>(nom.size());
    m.insert(m.end(), nom.begin(), nom.end());
    EXPECT_TRUE(invalide(m)) << enHex(nom);
  }
  const auto lu =
      MessagePasskey::decoder(MessagePasskey::debut(t, Octets(32, 1), "\U0001F600").donnees());
  ASSERT_TRUE(lu.has_value());
  EXPECT_EQ(lu->comme<MessagePasskey::Debut>()->nomOrdinateur, "\U0001F600");
}

TEST(MessagePasskey, ClesEtValeursDe31Ou33OctetsRefusees) {
  for (std::size_t n : {31, 33}) {
    EXPECT_TRUE(invalide(MessagePasskey::cle(t, Octets(n, 2)).donnees())) << n;
    EXPECT_TRUE(invalide(MessagePasskey::confirmation(t, Octets(n, 2)).donnees())) << n;
    EXPECT_TRUE(invalide(MessagePasskey::engagement(t, 0, Octets(n, 2)).donnees())) << n;
    EXPECT_TRUE(invalide(MessagePasskey::debut(t, Octets(n, 2), "").donnees())) << n;
  }
  EXPECT_TRUE(invalide(MessagePasskey::devoilement(t, 0, Octets(15)).donnees()));
  EXPECT_TRUE(invalide(MessagePasskey::devoilement(t, 0, Octets(17)).donnees()));
}

TEST(MessagePasskey, EgaliteChampParChamp) {
  const auto m = MessagePasskey::engagement(t, 3, Octets(32, 9));
  EXPECT_EQ(m, MessagePasskey::engagement(t, 3, Octets(32, 9)));
  EXPECT_NE(m, MessagePasskey::engagement(t + 1, 3, Octets(32, 9)));
  EXPECT_NE(m, MessagePasskey::engagement(t, 4, Octets(32, 9)));
  EXPECT_NE(MessagePasskey::cle(t, Octets(32, 1)), MessagePasskey::confirmation(t, Octets(32, 1)))
      << "même charge, cas différents";
}

}  // namespace
}  // namespace ravlo
