// SPDX-License-Identifier: MPL-2.0
#include "plateforme/web/adresses_page.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(AdressesPage, JoignablesDepuisLeReseauDansLOrdreEtLaPremiereSansNomLocalPourLeQr) {
  using V = std::vector<std::string>;
  const struct {
    const char* cas;
    std::vector<AdresseInterface> interfaces;
    std::optional<std::string> nomLocal;
    std::uint16_t port;
    V attendu;
  } cas[] = {
      {"IPv4 d'abord, IPv6 entre crochets, nom local en tête",
       {{"fd00::1", true, false}, {"192.168.1.20", true, false}, {"10.0.0.5", true, false}},
       "salon.local",
       8080,
       V{"http://salon.local:8080/", "http://192.168.1.20:8080/", "http://10.0.0.5:8080/",
         "http://[fd00::1]:8080/"}},
      {"boucle locale écartée, par l'interface ou par l'adresse",
       {{"127.0.0.1", true, true},
        {"::1", true, true},
        {"10.1.2.3", true, true},
        {"127.0.0.2", true, false},
        {"::1", true, false},
        {"192.168.0.9", true, false}},
       std::nullopt,
       47000,
       V{"http://192.168.0.9:47000/"}},
      {"lien local, non spécifiée, multidiffusion et illisible écartées",
       {{"169.254.10.1", true, false},
        {"fe80::1", true, false},
        {"febf::1", true, false},
        {"0.0.0.0", true, false},
        {"::", true, false},
        {"224.0.0.251", true, false},
        {"ff02::fb", true, false},
        {"pas une adresse", true, false},
        {"2001:db8::7", true, false},
        {"fec0::1", true, false}},
       std::nullopt,
       8080,
       V{"http://[2001:db8::7]:8080/", "http://[fec0::1]:8080/"}},
      {"interface arrêtée écartée, doublon une fois",
       {{"192.168.1.20", false, false},
        {"192.168.1.21", true, false},
        {"192.168.1.21", true, false}},
       std::nullopt,
       8080,
       V{"http://192.168.1.21:8080/"}},
      {"port 80 sans son numéro",
       {{"192.168.1.20", true, false}, {"fd00::2", true, false}},
       "salon.local",
       80,
       V{"http://salon.local/", "http://192.168.1.20/", "http://[fd00::2]/"}},
      {"nom local vide ignoré, rien d'autre", {}, std::string{}, 8080, V{}},
      {"nom local seul", {}, "salon.local", 8080, V{"http://salon.local:8080/"}},
  };
  for (const auto& c : cas)
    EXPECT_EQ(adressesPage(c.port, c.interfaces, c.nomLocal), c.attendu) << c.cas;
  // Le code QR prend la première adresse sans le nom local, que le téléphone ne résout pas
  // toujours.
  EXPECT_EQ(adressePourQr(V{"http://salon.local:8080/", "http://192.168.1.20:8080/"}),
            "http://192.168.1.20:8080/");
  EXPECT_EQ(adressePourQr(V{"http://salon.local/", "http://[fd00::1]/"}), "http://[fd00::1]/");
  EXPECT_EQ(adressePourQr(V{"http://salon.local:8080/"}), "http://salon.local:8080/");
  EXPECT_EQ(adressePourQr(V{}), "");
}

}  // namespace
}  // namespace ravlo
