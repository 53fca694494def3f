// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "plateforme/systeme.hpp"

namespace ravlo {
namespace {

// Le choix de gettext, variable par variable ; LANGUAGE n'a de poids que hors de C et POSIX.
TEST(LocaleDesTextes, CommeGettext) {
  using Environnement = std::map<std::string, std::string>;
  const struct {
    Environnement environnement;
    std::string attendue;
  } cas[] = {
      {{}, "C"},
      {{{"LANG", "fr_FR.UTF-8"}}, "fr_FR.UTF-8"},
      {{{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, "en_GB.UTF-8"},
      {{{"LC_MESSAGES", "fr_FR.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, "en_US.UTF-8"},
      {{{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}, "en_US.UTF-8"},
      {{{"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "en:fr"}}, "en:fr"},
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LANGUAGE", "en"}}, "en"},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ""}}, "en_US.UTF-8"},
      {{{"LANGUAGE", "en"}}, "C"},
      {{{"LC_ALL", "C"}, {"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "en"}}, "C"},
      {{{"LANG", "POSIX"}, {"LANGUAGE", "en"}}, "POSIX"},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "en"}}, "en"},
  };
  for (const auto& [environnement, attendue] : cas) {
    const std::string choisie = localeDesTextes([&](const char* nom) -> const char* {
      const auto trouvee = environnement.find(nom);
      return trouvee == environnement.end() ? nullptr : trouvee->second.c_str();
    });
    std::string decrit;
    for (const auto& [nom, valeur] : environnement) decrit += nom + "=" + valeur + " ";
    EXPECT_EQ(choisie, attendue) << decrit;
  }
}

}  // namespace
}  // namespace ravlo
