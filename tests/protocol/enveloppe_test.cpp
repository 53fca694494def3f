#include <sodium.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "protocol/lecteur_octets.hpp"
#include "protocol/ouvreur.hpp"
#include "protocol/scelleur.hpp"

namespace ravlo {
namespace {

Cle cleDeTest(std::uint8_t graine) {
  Cle c{};
  for (std::size_t i = 0; i < c.size(); ++i) c[i] = static_cast<std::uint8_t>(graine + 7 * i);
  return c;
}

// Scelle avec libsodium seul, à un compteur choisi : vérifie le format indépendamment du
// scelleur et fabrique des compteurs arbitraires.
Octets scellerBrut(const Cle& cle, std::uint64_t k, SorteEnveloppe sorte, const Octets& contenu) {
  const auto entete = Enveloppe::entete(sorte, k);
  std::uint8_t nonce[12] = {};
  for (int i = 0; i < 8; ++i) nonce[4 + i] = static_cast<std::uint8_t>(k >> (8 * i));
  Octets sortie(entete.begin(), entete.end());
  sortie.resize(12 + contenu.size() + 16);
  unsigned long long n = 0;
  crypto_aead_chacha20poly1305_ietf_encrypt(sortie.data() + 12, &n, contenu.data(), contenu.size(),
                                            entete.data(), 12, nullptr, nonce, cle.data());
  return sortie;
}

TEST(Enveloppe, PremierScellementPorteLeCompteurZeroEtSOuvreAvecLeNonceNul) {
  const Cle cle = cleDeTest(1);
  Scelleur scelleur(cle);
  const Octets contenu{1, 2, 3, 4, 5};
  const auto scelle = scelleur.sceller(contenu, SorteEnveloppe::horloge);
  ASSERT_TRUE(scelle.has_value());
  ASSERT_EQ(scelle->size(), 28u + contenu.size());
  EXPECT_EQ((Octets{scelle->begin(), scelle->begin() + 4}), (Octets{'R', 'V', 2, 1}));
  EXPECT_TRUE(
      std::all_of(scelle->begin() + 4, scelle->begin() + 12, [](auto b) { return b == 0; }));
  // Même octets que libsodium avec un nonce de douze zéros et l'en-tête en donnée associée.
  EXPECT_EQ(*scelle, scellerBrut(cle, 0, SorteEnveloppe::horloge, contenu));

  Ouvreur ouvreur(cle);
  EXPECT_EQ(ouvreur.ouvrir(*scelle), (Ouvert{SorteEnveloppe::horloge, contenu, true}));
  EXPECT_EQ(ouvreur.ouvrir(*scelle), std::nullopt) << "un rejeu doit être refusé";

  const auto second = scelleur.sceller(contenu, SorteEnveloppe::audio);
  EXPECT_EQ((*second)[4], 1);
}

TEST(Enveloppe, ContenuVideEtLongueurMinimale) {
  const Cle cle = cleDeTest(2);
  Scelleur scelleur(cle);
  Ouvreur ouvreur(cle);
  const auto vide = scelleur.sceller({}, SorteEnveloppe::fin);
  ASSERT_EQ(vide->size(), 28u);
  const auto ouvert = ouvreur.ouvrir(*vide);
  ASSERT_TRUE(ouvert.has_value());
  EXPECT_TRUE(ouvert->contenu.empty());
  EXPECT_EQ(ouvert->sorte, SorteEnveloppe::fin);
  const auto autre = scelleur.sceller({}, SorteEnveloppe::fin);
  EXPECT_EQ(ouvreur.ouvrir(VueOctets(*autre).first(27)), std::nullopt);
}

TEST(Enveloppe, ToutOctetModifieEchoueSansToucherLaFenetre) {
  const Cle cle = cleDeTest(3);
  Scelleur scelleur(cle);
  Ouvreur ouvreur(cle);
  const auto scelle = scelleur.sceller(Octets(40, 0xAB), SorteEnveloppe::audio);
  for (std::size_t i = 0; i < scelle->size(); ++i) {
    for (std::uint8_t masque : {0x01, 0x80}) {
      Octets abime = *scelle;
      abime[i] ^= masque;
      EXPECT_EQ(ouvreur.ouvrir(abime), std::nullopt) << "octet " << i;
    }
  }
  // Aucune falsification n'a avancé la fenêtre : l'original passe encore.
  EXPECT_TRUE(ouvreur.ouvrir(*scelle).has_value());
  // Mauvaise clé.
  Ouvreur autre(cleDeTest(4));
  EXPECT_EQ(autre.ouvrir(*scelleur.sceller(Octets{1}, SorteEnveloppe::audio)), std::nullopt);
}

TEST(Enveloppe, VersionEtSorteInconnuesRefuseesAvantDechiffrement) {
  const Cle cle = cleDeTest(5);
  Ouvreur ouvreur(cle);
  // Authentiques sous la clé, mais en-têtes hors format : le refus vient de l'en-tête.
  for (auto [version, sorte] : {std::pair{1, 0}, {3, 0}, {2, 3}, {2, 255}}) {
    Octets e = scellerBrut(cle, 9, SorteEnveloppe::audio, Octets{7});
    e[2] = static_cast<std::uint8_t>(version);
    e[3] = static_cast<std::uint8_t>(sorte);
    // Refaire l'étiquette sur l'en-tête modifié pour qu'elle soit valide.
    unsigned long long n = 0;
    std::uint8_t nonce[12] = {0, 0, 0, 0, 9};
    crypto_aead_chacha20poly1305_ietf_encrypt(e.data() + 12, &n, Octets{7}.data(), 1, e.data(), 12,
                                              nullptr, nonce, cle.data());
    EXPECT_EQ(ouvreur.ouvrir(e), std::nullopt) << version << "/" << sorte;
  }
  Octets mauvaiseSignature = scellerBrut(cle, 10, SorteEnveloppe::audio, Octets{7});
  mauvaiseSignature[0] = 'X';
  EXPECT_EQ(ouvreur.ouvrir(mauvaiseSignature), std::nullopt);
}

TEST(Enveloppe, FenetreAuxAges63Et64) {
  const Cle cle = cleDeTest(6);
  Ouvreur ouvreur(cle);
  auto ouvrir = [&](std::uint64_t k) {
    return ouvreur.ouvrir(scellerBrut(cle, k, SorteEnveloppe::audio, Octets{1, 2, 3, 4}));
  };
  ASSERT_TRUE(ouvrir(100)->estLePlusRecent);
  const auto age63 = ouvrir(37);
  ASSERT_TRUE(age63.has_value());
  EXPECT_FALSE(age63->estLePlusRecent);
  EXPECT_EQ(ouvrir(36), std::nullopt) << "âge 64 : trop vieux, même jamais vu";
  EXPECT_EQ(ouvrir(37), std::nullopt) << "âge 63 déjà vu";
}

TEST(Enveloppe, ArriveeDesordonnee) {
  const Cle cle = cleDeTest(7);
  Ouvreur ouvreur(cle);
  std::vector<bool> recents;
  for (std::uint64_t k : {10, 12, 11}) {
    const auto o = ouvreur.ouvrir(scellerBrut(cle, k, SorteEnveloppe::audio, Octets{}));
    ASSERT_TRUE(o.has_value()) << k;
    recents.push_back(o->estLePlusRecent);
  }
  EXPECT_EQ(recents, (std::vector<bool>{true, true, false}));
}

TEST(FenetreRejeu, SautsEtBits) {
  FenetreRejeu f;
  EXPECT_TRUE(f.enregistrer(100));
  EXPECT_TRUE(f.enregistrer(130));
  EXPECT_EQ(f.vus(), (std::uint64_t{1} << 30) | 1);
  FenetreRejeu g;
  g.enregistrer(100);
  g.enregistrer(200);
  EXPECT_EQ(g.vus(), 1u);
  EXPECT_FALSE(g.admet(136)) << "âge 64 après le saut";
  EXPECT_TRUE(g.admet(137));
  // Exactement 64 plus haut : tout l'historique sort de la fenêtre.
  FenetreRejeu h;
  h.enregistrer(0);
  h.enregistrer(1);
  h.enregistrer(65);
  EXPECT_EQ(h.vus(), 1u);
  // Au sommet de l'espace des compteurs.
  FenetreRejeu sommet;
  sommet.enregistrer(UINT64_MAX);
  EXPECT_FALSE(sommet.admet(UINT64_MAX));
  EXPECT_TRUE(sommet.admet(UINT64_MAX - 63));
  EXPECT_FALSE(sommet.admet(UINT64_MAX - 64));
}

TEST(Enveloppe, CompteurEpuiseApres2Puissance64Moins1) {
  const Cle cle = cleDeTest(8);
  Scelleur scelleur(cle, UINT64_MAX);
  const auto dernier = scelleur.sceller(Octets{1}, SorteEnveloppe::audio);
  ASSERT_TRUE(dernier.has_value());
  EXPECT_TRUE(
      std::all_of(dernier->begin() + 4, dernier->begin() + 12, [](auto b) { return b == 0xFF; }));
  Ouvreur ouvreur(cle);
  EXPECT_TRUE(ouvreur.ouvrir(*dernier).has_value());
  EXPECT_EQ(scelleur.sceller(Octets{1}, SorteEnveloppe::audio),
            std::unexpected(ErreurEnveloppe::compteurEpuise));
  EXPECT_EQ(scelleur.sceller(Octets{}, SorteEnveloppe::fin),
            std::unexpected(ErreurEnveloppe::compteurEpuise));
}

// Plusieurs fils scellent et ouvrent à la fois : compteurs tous distincts, et chaque
// enveloppe ouverte une seule fois même quand deux fils l'ouvrent ensemble.
TEST(ConcurrenceEnveloppe, CompteursDistinctsEtAucuneDoubleOuverture) {
  const Cle cle = cleDeTest(9);
  Scelleur scelleur(cle);
  constexpr int fils = 4;
  constexpr int parFil = 200;
  std::vector<std::vector<Octets>> produits(fils);
  {
    std::vector<std::jthread> t;
    for (int f = 0; f < fils; ++f) {
      t.emplace_back([&, f] {
        for (int i = 0; i < parFil; ++i) {
          produits[f].push_back(
              *scelleur.sceller(Octets{static_cast<std::uint8_t>(f)}, SorteEnveloppe::audio));
        }
      });
    }
  }
  std::set<std::uint64_t> compteurs;
  std::vector<Octets> tous;
  for (auto& p : produits) {
    for (auto& e : p) {
      compteurs.insert(lirePetitBoutiste<std::uint64_t>(e.data() + 4));
      tous.push_back(e);
    }
  }
  ASSERT_EQ(compteurs.size(), static_cast<std::size_t>(fils * parFil));
  EXPECT_EQ(*compteurs.rbegin(), static_cast<std::uint64_t>(fils * parFil - 1));

  // Chaque enveloppe est offerte deux fois, à des fils différents, dans l'ordre des compteurs
  // pour rester dans la fenêtre.
  std::sort(tous.begin(), tous.end(), [](const Octets& a, const Octets& b) {
    return lirePetitBoutiste<std::uint64_t>(a.data() + 4) <
           lirePetitBoutiste<std::uint64_t>(b.data() + 4);
  });
  Ouvreur ouvreur(cle);
  std::vector<std::atomic<int>> fois(tous.size());
  {
    std::vector<std::jthread> t;
    for (int f = 0; f < fils; ++f) {
      t.emplace_back([&, f] {
        for (std::size_t i = static_cast<std::size_t>(f / 2); i < tous.size(); i += fils / 2) {
          if (ouvreur.ouvrir(tous[i])) fois[i].fetch_add(1);
        }
      });
    }
  }
  // Une ouverture très en retard (âge ≥ 64) peut être refusée ; aucune n'est jamais doublée.
  int total = 0;
  for (std::size_t i = 0; i < fois.size(); ++i) {
    ASSERT_LE(fois[i].load(), 1) << "enveloppe " << i << " acceptée deux fois";
    total += fois[i].load();
  }
  EXPECT_GT(total, 0);
}

}  // namespace
}  // namespace ravlo
