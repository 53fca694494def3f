// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/carnet_recepteurs.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "plateforme/fichier_prive.hpp"

namespace ravlo {
namespace {

RecepteurMemorise recepteur(std::uint8_t n, std::optional<std::uint8_t> id, std::string nom,
                            std::int64_t usage) {
  RecepteurMemorise r{id ? std::optional(IdentifiantRecepteur{*id, 0xAB}) : std::nullopt,
                      "10.99.0." + std::to_string(n) + ":47000",
                      {},
                      std::move(nom),
                      usage};
  r.paire.identifiant.fill(n);
  r.paire.psk.octets().fill(static_cast<std::uint8_t>(n + 100));
  return r;
}

// L'aller-retour garde tout, identifiant absent compris ; un nom ne casse pas la ligne. Une
// ligne fausse refuse tout le fichier.
TEST(CarnetRecepteurs, AllerRetourEtFichierAbimeRefuse) {
  const std::vector<RecepteurMemorise> carnet = {recepteur(1, 7, "Salon de Léa", 1'800'000'000),
                                                 recepteur(2, std::nullopt, "[::1]:5", -1)};
  EXPECT_EQ(lireCarnet(ecrireCarnet(carnet)), carnet);
  std::vector<RecepteurMemorise> c;
  retenirMemorise(c, recepteur(3, 1, "Cuisine\tdu\nbas", 5));
  EXPECT_EQ(lireCarnet(ecrireCarnet(c)).value().at(0).nom, "Cuisine du bas");

  const auto lu = [](const std::string& texte) {
    return lireCarnet(Octets(texte.begin(), texte.end()));
  };
  const Octets ecrit = ecrireCarnet({recepteur(1, 7, "Salon", 9)});
  const std::string bon(ecrit.begin(), ecrit.end());
  ASSERT_TRUE(lu(bon).has_value());
  const std::string ligne = bon.substr(bon.find('\n') + 1);
  const std::string champs[6] = {ligne.substr(0, 32),  ligne.substr(33, 32),
                                 ligne.substr(66, 64), "9",
                                 "10.99.0.1:47000",    "Salon"};
  const auto avec = [&](std::size_t i, const std::string& valeur) {
    std::string l = "ravlo-recepteurs 1\n";
    for (std::size_t j = 0; j < 6; ++j) l += (j ? "\t" : "") + (j == i ? valeur : champs[j]);
    return l + "\n";
  };
  ASSERT_EQ(avec(9, ""), bon);
  const std::string cas[] = {
      "",
      "ravlo-recepteurs 2\n",
      bon.substr(0, bon.size() - 1),  // coupé avant la fin de ligne
      bon + "de trop\n",              // ligne en plus
      avec(0, champs[0].substr(1)),   // identifiant court
      avec(0, std::string(32, 'A')),  // majuscules
      avec(1, std::string(32, 'g')),  // identifiant de paire non hexa
      avec(2, champs[2] + "00"),      // PSK longue
      avec(3, "9x"),                  // usage non numérique
      avec(3, ""),
      avec(4, ""),                // adresse vide
      avec(5, ""),                // nom vide
      avec(5, "Salon\tde trop"),  // un champ de plus
  };
  for (const auto& abime : cas) EXPECT_FALSE(lu(abime).has_value()) << abime;

  std::string plein = "ravlo-recepteurs 1\n";
  for (std::size_t i = 0; i <= carnetMax; ++i) plein += ligne;
  EXPECT_FALSE(lu(plein).has_value()) << "plus que la borne";
}

// Un même récepteur se reconnaît à son identifiant quand il en a un, à son adresse sinon ; il
// est remplacé, pas doublé ; au-delà de la borne, le moins récemment servi part.
TEST(CarnetRecepteurs, RemplaceBorneOublie) {
  std::vector<RecepteurMemorise> c;
  retenirMemorise(c, recepteur(1, 7, "Salon", 10));
  auto ailleurs = recepteur(2, 7, "Salon", 20);  // même identifiant, autre adresse
  retenirMemorise(c, ailleurs);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0], ailleurs);
  EXPECT_EQ(chercherMemorise(c, IdentifiantRecepteur{7, 0xAB}, "10.99.0.9:1"), ailleurs);
  EXPECT_EQ(chercherMemorise(c, IdentifiantRecepteur{8, 0xAB}, ailleurs.adresse), std::nullopt)
      << "un autre identifiant à la même adresse est un autre récepteur";
  retenirMemorise(c, recepteur(3, std::nullopt, "tapé", 30));
  EXPECT_TRUE(chercherMemorise(c, IdentifiantRecepteur{9, 0xAB}, "10.99.0.3:47000").has_value())
      << "retenu sans identifiant : reconnu à l'adresse";
  EXPECT_TRUE(chercherMemorise(c, std::nullopt, "10.99.0.3:47000").has_value());

  for (std::uint8_t n = 10; n < 10 + carnetMax; ++n)
    retenirMemorise(c, recepteur(n, n, "x", 100 + n));
  EXPECT_EQ(c.size(), carnetMax);
  EXPECT_FALSE(chercherMemorise(c, IdentifiantRecepteur{7, 0xAB}, "").has_value());
  EXPECT_FALSE(chercherMemorise(c, std::nullopt, "10.99.0.3:47000").has_value());

  EXPECT_TRUE(oublierMemorise(c, "10.99.0.10:47000"));
  EXPECT_TRUE(oublierMemorise(c, "x"));
  EXPECT_TRUE(c.empty());
  EXPECT_FALSE(oublierMemorise(c, "x"));
}

// Le TXT d'un récepteur : seul un identifiant exact compte, « reprise=1 » seul dit la reprise.
TEST(AnnonceRecepteur, IdentifiantEtReprise) {
  const std::string id = "000102030405060708090a0b0c0d0eff";
  const IdentifiantRecepteur attendu{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xFF};
  const std::pair<std::vector<std::string>, AnnonceRecepteur> cas[] = {
      {{}, {}},
      {{"id=" + id, "reprise=1"}, {attendu, true}},
      {{"reprise=1", "id=" + id}, {attendu, true}},
      {{"id=" + id}, {attendu, false}},
      {{"id=" + id.substr(2)}, {}},
      {{"id=" + id + "00"}, {}},
      {{"id=000102030405060708090A0B0C0D0EFF"}, {}},
      {{"id=" + id.substr(0, 30) + "zz"}, {}},
      {{"ID=" + id, "reprise=0", "reprise=11", "reprise"}, {}}};
  for (const auto& [txt, annonce] : cas)
    EXPECT_EQ(lireAnnonce(txt), annonce) << ::testing::PrintToString(txt);
}

// Le fichier est relu à chaque usage : un autre processus l'a peut-être changé ; il n'est
// lisible que de son propriétaire.
TEST(CarnetRecepteurs, FichierReluAChaqueUsage) {
  const auto dossier =
      std::filesystem::path(::testing::TempDir()) / ("carnet-" + std::to_string(getpid()));
  const auto chemin = dossier / "recepteurs";
  CarnetFichier a(chemin), b(chemin);
  EXPECT_TRUE(a.lire().empty());
  ASSERT_TRUE(a.ecrire({recepteur(1, 7, "Salon", 9)}).has_value());
  EXPECT_EQ(std::filesystem::status(chemin).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_TRUE(b.modifier([](auto& c) { return oublierMemorise(c, "Salon"); }));
  EXPECT_TRUE(a.lire().empty());
  std::filesystem::remove_all(dossier);
}

}  // namespace
}  // namespace ravlo
