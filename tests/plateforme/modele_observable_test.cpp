// SPDX-License-Identifier: MPL-2.0
#include "plateforme/modele_observable.hpp"

#include <gtest/gtest.h>

#include <string>

namespace ravlo {
namespace {

struct Modele final : ModeleObservable {
  std::string nom;
  void changerNom(std::string n) { changer(nom, std::move(n)); }
};

// Prévenu seulement quand la valeur change ; le jeton désabonne, même en pleine notification.
TEST(ModeleObservable, ChangementsSeulementEtJetonQuiDesabonne) {
  Modele m;
  std::vector<std::string> vus;
  int second = 0;
  Abonnement b;
  Abonnement a = m.observer([&] {
    vus.push_back(m.nom);
    b.resilier();  // le second ne doit plus être prévenu, même pour ce changement-ci
  });
  b = m.observer([&] { ++second; });
  m.changerNom("a");
  m.changerNom("a");
  m.changerNom("b");
  EXPECT_EQ(vus, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(second, 0);
  {
    Abonnement c = std::move(a);
  }
  m.changerNom("c");
  EXPECT_EQ(vus.size(), 2u) << "jeton détruit : désabonné";
}

}  // namespace
}  // namespace ravlo
