// SPDX-License-Identifier: MPL-2.0
// La ligne de commande de ravlo-envoi : un récepteur comme toujours, ou plusieurs, chacun
// suivi de son code.
#include "programmes/envoi/options_envoi.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace ravlo {
namespace {

std::vector<std::string> mots(const std::string& ligne) {
  std::istringstream flux(ligne);
  std::vector<std::string> m;
  for (std::string mot; flux >> mot;) m.push_back(mot);
  return m;
}

// Une destination lue, en une ligne : « adresse:port code » ou « @nom code ».
std::string resume(const OptionsEnvoi::Destination& d) {
  const std::string ou =
      d.recepteur ? "@" + *d.recepteur : d.vers.adresse + ":" + std::to_string(d.vers.port);
  return ou + " " + d.code;
}

TEST(OptionsEnvoi, UnOuPlusieursRecepteursChacunSonCode) {
  struct Cas {
    std::string arguments;
    const char* environnement;  // RAVLO_CODE
    std::vector<std::string> attendues;
    std::string refus;  // un bout de la phrase, si la ligne est refusée
    bool entreeLue = false;
  };
  const std::string chacun = "Avec plusieurs récepteurs, chacun a son --code NNNN";
  for (const Cas& c : std::vector<Cas>{
           // Un seul : le code où l'on veut, de l'entrée ou de RAVLO_CODE.
           {"--vers 127.0.0.1:5000 --code 1234", nullptr, {"127.0.0.1:5000 1234"}, ""},
           {"--code 1234 --vers 127.0.0.1:5000", nullptr, {"127.0.0.1:5000 1234"}, ""},
           {"--vers 127.0.0.1:5000", "4321", {"127.0.0.1:5000 4321"}, ""},
           {"--code 1234 --vers 127.0.0.1:5000", "4321", {"127.0.0.1:5000 1234"}, ""},
           {"--vers 127.0.0.1:5000 --code -", "4321", {"127.0.0.1:5000 9876"}, "", true},
           {"--recepteur Salon --code 1234", nullptr, {"@Salon 1234"}, ""},
           {"--recepteur Salon", nullptr, {}, "sont obligatoires"},
           {"--code 1234", nullptr, {}, "sont obligatoires"},
           // Plusieurs, mêlés, dans l'ordre ; RAVLO_CODE n'y sert pas.
           {"--vers 127.0.0.1:5000 --code 1111 --recepteur Cuisine --code 2222 --vers [::1]:5001 "
            "--code 3333",
            "4321",
            {"127.0.0.1:5000 1111", "@Cuisine 2222", "::1:5001 3333"},
            ""},
           {"--vers 127.0.0.1:5000 --code 1111 --vers 127.0.0.1:5001",
            "4321",
            {},
            chacun + " juste après son --vers ou son --recepteur (ni --code -, ni RAVLO_CODE) : "
                     "il manque celui de « 127.0.0.1:5001 »."},
           {"--vers 127.0.0.1:5000 --code - --vers 127.0.0.1:5001 --code 2222",
            nullptr,
            {},
            "il manque celui de « 127.0.0.1:5000 »"},
           {"--code 1111 --vers 127.0.0.1:5000 --vers 127.0.0.1:5001 --code 2222",
            nullptr,
            {},
            "un --code vient avant le premier"},
           {"--recepteur Salon --code 1111 --recepteur Salon --code 2222",
            nullptr,
            {},
            "« Salon » est visé deux fois."},
           {"--vers 127.0.0.1:5000 --code 1111 --vers localhost:5000 --code 2222",
            nullptr,
            {},
            "« localhost:5000 » est visé deux fois."},
           {"--vers 127.0.0.1:5000 --code 1111 --recepteur Salon --code 2222 --liste",
            nullptr,
            {},
            "--liste s'emploie seule."},
       }) {
    SCOPED_TRACE(c.arguments);
    const auto m = mots(c.arguments);
    std::vector<const char*> arguments;
    for (const auto& a : m) arguments.push_back(a.c_str());
    std::istringstream entree("9876\r\n");
    const auto lu = OptionsEnvoi::lire(arguments, entree, c.environnement, "fr");
    if (c.refus.empty()) {
      ASSERT_TRUE(lu.has_value()) << lu.error();
      std::vector<std::string> obtenues;
      for (const auto& d : lu->destinations) obtenues.push_back(resume(d));
      EXPECT_EQ(obtenues, c.attendues);
    } else {
      ASSERT_FALSE(lu.has_value());
      EXPECT_NE(lu.error().find(c.refus), std::string::npos) << lu.error();
    }
    std::string reste;
    std::getline(entree, reste);
    EXPECT_EQ(reste.empty(), c.entreeLue) << "l'entrée n'est lue que pour un --code - accepté";
  }
}

}  // namespace
}  // namespace ravlo
