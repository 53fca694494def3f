// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/annonce_page.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

const IdentifiantRecepteur idPage{0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xFF};
const IdentifiantRecepteur idAutre{0x20, 1};
const PointReseau pointPage{"10.99.0.5", 51'000};

SecretPaire paireDe(std::uint8_t graine) {
  SecretPaire p;
  p.identifiant.fill(graine);
  p.psk.octets().fill(static_cast<std::uint8_t>(graine + 1));
  return p;
}

PageConnectee page(std::optional<IdentifiantRecepteur> id, bool reprise) {
  return {"Pixel — Chrome", "fr-FR", pointPage, id, reprise};
}

// Une page n'est reprise que par l'identifiant qu'elle annonce avec la reprise : ni sans
// reprise, ni sans identifiant, ni par son adresse, qui change à chaque connexion et ne doit pas
// faire reprendre un récepteur retenu sans identifiant à la même adresse.
TEST(AnnonceDePage, ReprisParSonIdentifiantSeulement) {
  const RecepteurMemorise retenue{idPage, "10.99.0.5:40000", paireDe(1), "Pixel", 5};
  const RecepteurMemorise autre{idAutre, "10.99.0.9:47311", paireDe(2), "Salon", 6};
  const RecepteurMemorise memeAdresse{std::nullopt, enTexte(pointPage), paireDe(3), "Vieux", 7};
  const std::vector<RecepteurMemorise> carnet{autre, memeAdresse, retenue};
  const struct {
    const char* nom;
    PageConnectee page;
    AnnonceRecepteur annonce;
    std::optional<RecepteurMemorise> reprise;
  } cas[] = {
      {"identifiant et reprise", page(idPage, true), {idPage, true}, retenue},
      {"sans reprise=1", page(idPage, false), {idPage, false}, std::nullopt},
      {"reprise sans identifiant", page(std::nullopt, true), {std::nullopt, false}, std::nullopt},
      {"ni l'un ni l'autre", page(std::nullopt, false), {}, std::nullopt},
      {"identifiant inconnu",
       page(IdentifiantRecepteur{0x30}, true),
       {IdentifiantRecepteur{0x30}, true},
       std::nullopt},
  };
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    EXPECT_EQ(annonceDePage(k.page), k.annonce);
    EXPECT_EQ(memoriseDePage(carnet, k.page), k.reprise);
  }

  EXPECT_EQ(memoireDePage(page(std::nullopt, false), paireDe(4), 9), std::nullopt)
      << "sans identifiant, rien ne la retrouverait";
  const auto retenir = memoireDePage(page(idPage, false), paireDe(4), 9);
  EXPECT_EQ(retenir,
            (RecepteurMemorise{idPage, "10.99.0.5:51000", paireDe(4), "Pixel — Chrome", 9}));
}

}  // namespace
}  // namespace ravlo
