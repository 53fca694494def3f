// SPDX-License-Identifier: MPL-2.0
#include "plateforme/resolution_noms.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace ravlo {
namespace {

// Littéraux et nom de /etc/hosts seulement : aucun essai ne demande au DNS.
TEST(ResolutionNoms, LitterauxEtNomLocalDansLaFamilleDemandee) {
  using F = FamilleAdresses;
  for (const auto& [hote, famille, attendue] : std::vector<std::tuple<std::string, F, std::string>>{
           {"127.0.0.1", F::ipv4, "127.0.0.1"},
           {"192.0.2.7", F::ipv4, "192.0.2.7"},
           {"::1", F::ipv6, "::1"},
           {"2001:db8::0:1", F::ipv6, "2001:db8::1"},
           {"::ffff:127.0.0.1", F::ipv6, "::ffff:127.0.0.1"},
           {"localhost", F::ipv4, "127.0.0.1"},
       }) {
    const auto adresses = resoudreNom(hote, famille);
    ASSERT_TRUE(adresses) << hote << " : " << adresses.error();
    ASSERT_FALSE(adresses->empty()) << hote;
    EXPECT_EQ(adresses->front(), attendue) << hote;
  }
}

// Un nom qu'aucune requête ne peut porter (une étiquette de plus de 63 octets) : le résolveur
// refuse avant tout envoi, et l'erreur revient en valeur.
TEST(ResolutionNoms, NomImpossibleRenduEnErreur) {
  const auto adresses = resoudreNom(std::string(70, 'a') + ".invalid", FamilleAdresses::ipv4);
  ASSERT_FALSE(adresses);
  EXPECT_FALSE(adresses.error().empty());
}

}  // namespace
}  // namespace ravlo
