// SPDX-License-Identifier: MPL-2.0
// La ligne de commande de ravlo-envoi : un récepteur comme toujours, ou plusieurs, chacun
// suivi de son code.
#include "programmes/envoi/options_envoi.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

namespace ravlo {
namespace {

// Chaque ligne : arguments, RAVLO_CODE, puis les destinations lues (« adresse:port code » ou
// « @nom code », séparées par « ; ») ou, pour une ligne refusée, « ! » et un bout de la
// phrase. L'entrée (« 9876 ») n'est lue que pour un --code - accepté.
TEST(OptionsEnvoi, UnOuPlusieursRecepteursChacunSonCode) {
  const std::string chacun = "! Avec plusieurs récepteurs, chacun a son --code NNNN";
  const std::tuple<std::string, const char*, std::string> cas[] = {
      // Un seul : le code où l'on veut, de l'entrée ou de RAVLO_CODE.
      {"--vers 127.0.0.1:5000 --code 1234", nullptr, "127.0.0.1:5000 1234"},
      {"--code 1234 --vers 127.0.0.1:5000", nullptr, "127.0.0.1:5000 1234"},
      {"--vers 127.0.0.1:5000", "4321", "127.0.0.1:5000 4321"},
      {"--code 1234 --vers 127.0.0.1:5000", "4321", "127.0.0.1:5000 1234"},
      {"--vers 127.0.0.1:5000 --code -", "4321", "127.0.0.1:5000 9876"},
      {"--recepteur Salon --code 1234", nullptr, "@Salon 1234"},
      // Sans code : repris s'il est retenu.
      {"--vers 127.0.0.1:5000", "", "127.0.0.1:5000 "},
      {"--recepteur Salon", nullptr, "@Salon "},
      {"--code 1234", nullptr, "! sont obligatoires"},
      {"--liste --code 1234", nullptr, "! --liste s'emploie seule, ou avec --navigateur."},
      {"--oublier Salon", nullptr, ""},
      {"--oublier Salon --vers 127.0.0.1:5000", nullptr, "! --oublier s'emploie seule."},
      // Plusieurs, mêlés, dans l'ordre ; RAVLO_CODE n'y sert pas.
      {"--vers 127.0.0.1:5000 --code 1111 --recepteur Cuisine --code 2222 --vers [::1]:5001 "
       "--code 3333",
       "4321", "127.0.0.1:5000 1111; @Cuisine 2222; ::1:5001 3333"},
      {"--vers 127.0.0.1:5000 --code 1111 --vers 127.0.0.1:5001", "4321",
       chacun + " juste après son --vers ou son --recepteur (ni --code -, ni RAVLO_CODE) : il "
                "manque celui de « 127.0.0.1:5001 »."},
      {"--recepteur Salon --vers 127.0.0.1:5001 --code 2222", nullptr,
       "! il manque celui de « Salon »"},
      {"--vers 127.0.0.1:5000 --code - --vers 127.0.0.1:5001 --code 2222", nullptr,
       "! il manque celui de « 127.0.0.1:5000 »"},
      {"--code 1111 --vers 127.0.0.1:5000 --vers 127.0.0.1:5001 --code 2222", nullptr,
       "! un --code vient avant le premier"},
      {"--recepteur Salon --code 1111 --recepteur Salon --code 2222", nullptr,
       "! « Salon » est visé deux fois."},
      {"--vers 127.0.0.1:5000 --code 1111 --vers localhost:5000 --code 2222", nullptr,
       "! « localhost:5000 » est visé deux fois."},
      {"--vers 127.0.0.1:5000 --code 1111 --recepteur Salon --code 2222 --liste", nullptr,
       "! --liste s'emploie seule, ou avec --navigateur."},
      // Faire entendre le code : un seul récepteur, aucun code (RAVLO_CODE n'y sert pas).
      {"--faire-entendre --vers 127.0.0.1:5000", "4321", "127.0.0.1:5000 "},
      {"--recepteur Salon --faire-entendre", nullptr, "@Salon "},
      {"--faire-entendre --vers 127.0.0.1:5000 --code 1234", nullptr,
       "! --faire-entendre vise un seul récepteur"},
      {"--faire-entendre --vers 127.0.0.1:5000 --recepteur Salon", nullptr,
       "! --faire-entendre vise un seul récepteur"},
      {"--faire-entendre --recepteur Salon --ton 440", nullptr,
       "! --faire-entendre vise un seul récepteur"},
      {"--faire-entendre", nullptr, "! --faire-entendre vise un seul récepteur"},
      // La page servie aux téléphones : seule ou avec des récepteurs, le code du premier
      // téléphone donné d'avance ; sinon lu à son arrivée.
      {"--navigateur", nullptr, "web 47380"},
      {"--navigateur --port-web 0 --ton 1000", "4321", "web 0 4321"},
      {"--code 1234 --navigateur", "4321", "web 47380 1234"},
      {"--navigateur --code -", "4321", "web 47380"},
      {"--vers 127.0.0.1:5000 --code 1111 --navigateur --port-web 8080", "4321",
       "127.0.0.1:5000 1111; web 8080"},
      {"--port-web 8080 --vers 127.0.0.1:5000 --code 1111", nullptr,
       "! --port-web va avec --navigateur."},
      {"--navigateur --port-web 65536", nullptr, "! Port invalide : « 65536 »."},
      {"--liste --navigateur --port-web 0", nullptr, "web 0"},
      {"--liste --navigateur --ton 440", nullptr,
       "! --liste s'emploie seule, ou avec --navigateur."},
      {"--navigateur --ton 440 --wav x.wav", nullptr, "! --ton et --wav s'excluent."},
  };
  for (const auto& [ligne, environnement, attendu] : cas) {
    SCOPED_TRACE(ligne);
    std::istringstream mots(ligne);
    std::vector<std::string> m{std::istream_iterator<std::string>(mots), {}};
    std::vector<const char*> arguments;
    for (const auto& a : m) arguments.push_back(a.c_str());
    std::istringstream entree("9876\r\n");
    const auto lu = OptionsEnvoi::lire(arguments, entree, environnement, "fr");
    std::string obtenu;
    for (const auto& d : lu ? lu->destinations : decltype(lu->destinations){}) {
      obtenu +=
          (obtenu.empty() ? "" : "; ") +
          (d.recepteur ? "@" + *d.recepteur : d.vers.adresse + ":" + std::to_string(d.vers.port)) +
          " " + d.code;
    }
    if (lu && lu->navigateur)
      obtenu += (obtenu.empty() ? "web " : "; web ") + std::to_string(lu->portWeb) +
                (lu->codePage ? " " + *lu->codePage : "");
    if (attendu.starts_with("! ")) {
      ASSERT_FALSE(lu.has_value());
      EXPECT_NE(lu.error().find(attendu.substr(2)), std::string::npos) << lu.error();
    } else {
      ASSERT_TRUE(lu.has_value()) << lu.error();
      EXPECT_EQ(obtenu, attendu);
    }
    std::string reste;
    std::getline(entree, reste);
    EXPECT_EQ(reste.empty(), attendu == "127.0.0.1:5000 9876");
  }
}

}  // namespace
}  // namespace ravlo
