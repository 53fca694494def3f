#include "protocol/passkey.hpp"

#include <sodium.h>

#include <gtest/gtest.h>

#include "echange_appairage.hpp"
#include "protocol/hkdf_sha256.hpp"

namespace ravlo {
namespace {

ClePriveeX25519 cleDe(std::uint8_t graine) {
  return ClePriveeX25519(Octets(32, graine));
}

Octets concat(std::initializer_list<VueOctets> morceaux) {
  Octets o;
  for (VueOctets m : morceaux) o.insert(o.end(), m.begin(), m.end());
  return o;
}

VueOctets vue(std::string_view s) {
  return VueOctets(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// HMAC-SHA-256 d'une clé d'au plus 32 octets par l'appel direct de libsodium, qui la
// complète de zéros comme HMAC le fait : un calcul indépendant de celui qu'on vérifie.
Octets hmacDirect(VueOctets cle, const Octets& message) {
  std::uint8_t cle32[32] = {};
  std::copy(cle.begin(), cle.end(), cle32);
  Octets mac(32);
  crypto_auth_hmacsha256(mac.data(), message.data(), message.size(), cle32);
  return mac;
}

TEST(SecretPartage, AccordSymetriqueEtVecteurRfc7748) {
  // RFC 7748 §6.1 : clés d'Alice et de Bob, secret commun.
  const ClePriveeX25519 alice(
      depuisHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a"));
  const ClePriveeX25519 bob(
      depuisHex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb"));
  EXPECT_EQ(enHex(alice.publique()),
            "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  const auto ab = secretPartage(alice, bob.publique());
  const auto ba = secretPartage(bob, alice.publique());
  ASSERT_TRUE(ab && ba);
  EXPECT_EQ(enHex(ab->octets()),
            "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
  EXPECT_EQ(ab->octets(), ba->octets());
}

TEST(SecretPartage, ClesRefusees) {
  const ClePriveeX25519 moi = cleDe(3);
  const Octets pair = cleDe(4).publique();
  EXPECT_TRUE(secretPartage(moi, pair).has_value());
  EXPECT_FALSE(secretPartage(moi, moi.publique())) << "clé renvoyée";
  Octets renvoyee = moi.publique();
  renvoyee[31] |= 0x80;
  EXPECT_FALSE(secretPartage(moi, renvoyee)) << "clé renvoyée, bit 255 levé";
  EXPECT_FALSE(secretPartage(moi, VueOctets(pair).first(31)));
  Octets longue = pair;
  longue.push_back(0);
  EXPECT_FALSE(secretPartage(moi, longue));
  EXPECT_FALSE(secretPartage(moi, Octets{}));
  // Points d'ordre faible : l'accord donnerait zéro.
  for (const char* faible : {"0000000000000000000000000000000000000000000000000000000000000000",
                             "0100000000000000000000000000000000000000000000000000000000000000",
                             "e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800",
                             "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"}) {
    EXPECT_FALSE(secretPartage(moi, depuisHex(faible))) << faible;
  }
}

TEST(Engagement, HmacSousLeNonceDuRoleDesClesEtDuBit) {
  const Octets cleA(32, 0xa1), cleB(32, 0xb2), nonce(16, 0x5a);
  for (std::uint8_t role : {roleInitiateur, roleRepondeur}) {
    for (bool bit : {false, true}) {
      const std::uint8_t dernier[1] = {static_cast<std::uint8_t>(bit ? 0x81 : 0x80)};
      const std::uint8_t premier[1] = {role};
      const Octets message = concat({premier, cleA, cleB, dernier});
      ASSERT_EQ(message.size(), 66u);
      EXPECT_EQ(enOctets(valeurEngagement(role, cleA, cleB, bit, nonce)),
                hmacDirect(nonce, message));
    }
  }
  EXPECT_NE(valeurEngagement(roleInitiateur, cleA, cleB, true, nonce),
            valeurEngagement(roleInitiateur, cleB, cleA, true, nonce))
      << "l'ordre des clés compte";
}

TEST(Confirmation, HmacSousK2DuRoleEtDeLaTentative) {
  Secret<32> k2;
  k2.octets().fill(0x22);
  const std::uint64_t t = 0x0102030405060708;
  for (std::uint8_t role : {roleInitiateur, roleRepondeur}) {
    const Octets message = concat({vue("Ravlo confirme"), Octets{role, 8, 7, 6, 5, 4, 3, 2, 1}});
    ASSERT_EQ(message.size(), 23u);
    EXPECT_EQ(enOctets(valeurConfirmation(role, t, k2)), hmacDirect(k2.octets(), message));
  }
}

TEST(DeriverCles, SelInfoEtDecoupage) {
  Secret<32> secret;
  secret.octets().fill(0x33);
  std::vector<Octets> noncesA, noncesB;
  for (std::uint8_t r = 0; r < nombreDeRangs; ++r) {
    noncesA.emplace_back(16, r);
    noncesB.emplace_back(16, static_cast<std::uint8_t>(0x40 + r));
  }
  const Octets cleA(32, 0xa1), cleB(32, 0xb2);
  const std::string nom = "Poste de Léa";
  const ClesDerivees cles =
      deriverCles(secret, noncesA, noncesB, cleA, cleB, 0x0102030405060708, nom);

  // Recalcul à la main : sel = SHA-256 des 448 octets de nonces, info posée champ par champ.
  Octets nonces;
  for (const auto* liste : {&noncesA, &noncesB}) {
    for (const Octets& n : *liste) nonces.insert(nonces.end(), n.begin(), n.end());
  }
  ASSERT_EQ(nonces.size(), 448u);
  Octets sel(32);
  crypto_hash_sha256(sel.data(), nonces.data(), nonces.size());
  const Octets info =
      concat({vue("Ravlo v2"), cleA, cleB, Octets{8, 7, 6, 5, 4, 3, 2, 1}, vue(nom)});
  Octets attendu(96);
  hkdfSha256(secret.octets(), sel, info, attendu);
  EXPECT_EQ(enHex(cles.k0.octets()), enHex(VueOctets(attendu).subspan(0, 32)));
  EXPECT_EQ(enHex(cles.k1.octets()), enHex(VueOctets(attendu).subspan(32, 32)));
  EXPECT_EQ(enHex(cles.k2.octets()), enHex(VueOctets(attendu).subspan(64, 32)));
}

TEST(Liaison, EgaleParIdentiteDesObjets) {
  const Cle k0{1}, k1{2};
  const Liaison a = Liaison::nouvelle(k0, k1);
  const Liaison copie = a;
  EXPECT_EQ(a, copie);
  EXPECT_NE(a, Liaison::nouvelle(k0, k1)) << "mêmes clés, autres objets";
  Liaison b = Liaison::nouvelle(k1, k0);
  const auto scelle = a.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  ASSERT_TRUE(scelle.has_value());
  EXPECT_TRUE(b.ouvreur->ouvrir(*scelle).has_value());
}

}  // namespace
}  // namespace ravlo
