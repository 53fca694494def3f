#include "protocol/hkdf_sha256.hpp"

#include <gtest/gtest.h>

#include <numeric>

#include "echange_appairage.hpp"

namespace ravlo {
namespace {

Octets suite(std::uint8_t premier, std::size_t n) {
  Octets o(n);
  std::iota(o.begin(), o.end(), premier);
  return o;
}

struct VecteurHkdf {
  Octets ikm, sel, info;
  std::string prk, okm;
};

// Les trois cas SHA-256 de la RFC 5869 (annexe A.1 à A.3).
TEST(Hkdf, VecteursRfc5869) {
  const VecteurHkdf vecteurs[] = {
      {Octets(22, 0x0b), suite(0x00, 13), suite(0xf0, 10),
       "077709362c2e32df0ddc3f0dc47bba6390b6c73bb50f9c3122ec844ad7c2b3e5",
       "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
      {suite(0x00, 80), suite(0x60, 80), suite(0xb0, 80),
       "06a6b88c5853361a06104c9ceb35b45cef760014904671014a193f40c15fc244",
       "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e"
       "590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
      {Octets(22, 0x0b), Octets{}, Octets{},
       "19ef24a32c717b167f33a91d6f648bdf96596776afdb6377ac434c1c293ccb04",
       "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
  };
  int cas = 1;
  for (const auto& v : vecteurs) {
    EXPECT_EQ(enHex(hkdfExtraire(v.sel, v.ikm).octets()), v.prk) << "cas " << cas;
    Octets okm(v.okm.size() / 2);
    hkdfSha256(v.ikm, v.sel, v.info, okm);
    EXPECT_EQ(enHex(okm), v.okm) << "cas " << cas;
    ++cas;
  }
}

// RFC 4231 : clé de 4 octets (cas 2) et clé plus longue qu'un bloc (cas 6) ; l'appel direct
// de libsodium, lui, lirait toujours 32 octets de clé.
TEST(Hmac, ClesDeToutesLongueurs) {
  const std::string_view jefe = "Jefe", question = "what do ya want for nothing?";
  const std::string_view longue = "Test Using Larger Than Block-Size Key - Hash Key First";
  auto vue = [](std::string_view s) {
    return VueOctets(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  };
  EXPECT_EQ(enHex(hmacSha256(vue(jefe), {vue(question)})),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(enHex(hmacSha256(Octets(131, 0xaa), {vue(longue.substr(0, 9)), vue(longue.substr(9))})),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(Hmac, ConcordanceEnTempsConstant) {
  const Octets a(32, 7);
  Octets b = a;
  EXPECT_TRUE(macConcorde(a, b));
  b[31] ^= 1;
  EXPECT_FALSE(macConcorde(a, b));
  EXPECT_FALSE(macConcorde(a, VueOctets(a).first(31))) << "longueurs différentes";
  EXPECT_FALSE(macConcorde(a, Octets{}));
}

}  // namespace
}  // namespace ravlo
