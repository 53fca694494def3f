#include "protocol/catalogue_textes.hpp"

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "protocol/ecrivain_octets.hpp"
#include "protocol/lecteur_octets.hpp"

namespace ravlo {
namespace {

const std::filesystem::path racineTest = RAVLO_LOCALES_TEST;
const std::string refus = "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.";

// Le catalogue de test tel que msgfmt l'a compilé.
Octets catalogueAnglais() {
  std::ifstream flux(racineTest / "en" / "LC_MESSAGES" / "Localizable.mo", std::ios::binary);
  return Octets((std::istreambuf_iterator<char>(flux)), std::istreambuf_iterator<char>());
}

std::uint32_t mot(const Octets& o, std::size_t position) {
  return lirePetitBoutiste<std::uint32_t>(o.data() + position);
}

TEST(CatalogueTextes, LitCeQueMsgfmtProduit) {
  const Octets octets = catalogueAnglais();
  ASSERT_GT(octets.size(), CatalogueTextes::tailleEnTete) << "catalogue de test introuvable";
  const auto catalogue = CatalogueTextes::lire(octets);
  ASSERT_TRUE(catalogue.has_value());
  EXPECT_EQ(catalogue->taille(), 3u) << "sans l'en-tête ni la phrase non traduite";
  EXPECT_EQ(catalogue->traduire(refus),
            "The iPhone refuses the connection. Open Ravlo on the iPhone, then try again.");
  EXPECT_EQ(catalogue->traduire("Un paquet"), "One packet") << "pluriel rangé au singulier";
  EXPECT_EQ(catalogue->traduire("Une phrase sans traduction"), std::nullopt);
  EXPECT_EQ(catalogue->traduire(""), std::nullopt);
  EXPECT_EQ(catalogue->traduire("L'iPhone"), std::nullopt);
}

TEST(CatalogueTextes, GrosBoutisteAussi) {
  // Le même fichier avec chaque mot de 32 bits de l'en-tête et des tables retourné.
  const Octets petit = catalogueAnglais();
  Octets gros = petit;
  auto retourner = [&](std::size_t position) {
    std::reverse(gros.begin() + static_cast<std::ptrdiff_t>(position),
                 gros.begin() + static_cast<std::ptrdiff_t>(position) + 4);
  };
  for (std::size_t i = 0; i < 7; ++i) retourner(4 * i);
  const std::uint32_t n = mot(petit, 8);
  for (std::size_t table : {mot(petit, 12), mot(petit, 16)}) {
    for (std::size_t i = 0; i < 2 * n; ++i) retourner(table + 4 * i);
  }
  const auto catalogue = CatalogueTextes::lire(gros);
  ASSERT_TRUE(catalogue.has_value());
  EXPECT_EQ(catalogue->traduire("Un paquet"), "One packet");
}

TEST(CatalogueTextes, FichiersAbimes) {
  const Octets juste = catalogueAnglais();
  ASSERT_FALSE(juste.empty());
  auto avecMot = [&](std::size_t position, std::uint32_t valeur) {
    Octets o = juste;
    ecrirePetitBoutiste(o.data() + position, valeur);
    return CatalogueTextes::lire(o);
  };
  EXPECT_EQ(avecMot(0, 0x950412df), std::unexpected(ErreurCatalogue::magieInconnue));
  EXPECT_EQ(avecMot(4, 0x00020000), std::unexpected(ErreurCatalogue::revisionInconnue));
  EXPECT_TRUE(avecMot(4, 0x00010007).has_value()) << "révision 1.7 : lisible";
  EXPECT_EQ(avecMot(8, UINT32_MAX), std::unexpected(ErreurCatalogue::tableHorsLimites));
  EXPECT_EQ(avecMot(16, UINT32_MAX - 3), std::unexpected(ErreurCatalogue::tableHorsLimites));
  // Deuxième clé : position puis longueur qui sortent du fichier, sans déborder en 32 bits.
  const std::size_t cle1 = mot(juste, 12) + 8;
  EXPECT_EQ(avecMot(cle1 + 4, UINT32_MAX), std::unexpected(ErreurCatalogue::chaineHorsLimites));
  EXPECT_EQ(avecMot(cle1, UINT32_MAX), std::unexpected(ErreurCatalogue::chaineHorsLimites));

  // 64 entrées qui se chevauchent sur les mêmes 1000 octets : 115 Ko à copier d'un fichier
  // de 2 Ko.
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

  for (std::size_t n = 0; n < juste.size(); ++n) {
    const auto lu = CatalogueTextes::lire(VueOctets(juste).first(n));
    if (n < CatalogueTextes::tailleEnTete) {
      EXPECT_EQ(lu, std::unexpected(ErreurCatalogue::tropCourt)) << n;
    } else if (lu) {
      // Seul le NUL final peut manquer sans que rien ne sorte du fichier.
      EXPECT_GE(n, juste.size() - 1);
      EXPECT_EQ(lu->traduire("Un paquet"), "One packet");
    }
  }
}

}  // namespace
}  // namespace ravlo
