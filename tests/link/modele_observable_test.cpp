#include "link/plateforme/modele_observable.hpp"

#include <gtest/gtest.h>

#include <string>

namespace ravlo {
namespace {

class Modele final : public ModeleObservable {
 public:
  void changerNom(std::string n) { changer(nom_, std::move(n)); }
  [[nodiscard]] const std::string& nom() const { return nom_; }

 private:
  std::string nom_;
};

TEST(ModeleObservable, PrevientSeulementQuandLaValeurChange) {
  Modele m;
  std::vector<std::string> vus;
  Abonnement a = m.observer([&] { vus.push_back(m.nom()); });
  m.changerNom("a");
  m.changerNom("a");
  m.changerNom("b");
  EXPECT_EQ(vus, (std::vector<std::string>{"a", "b"}));
}

TEST(ModeleObservable, LeJetonDesabonneMemeEnCoursDeNotification) {
  Modele m;
  int premier = 0;
  int second = 0;
  Abonnement b;
  Abonnement a = m.observer([&] {
    ++premier;
    b.resilier();  // le second ne doit plus être prévenu, même pour ce changement-ci
  });
  b = m.observer([&] { ++second; });
  m.changerNom("x");
  EXPECT_EQ(premier, 1);
  EXPECT_EQ(second, 0);
  {
    Abonnement c = std::move(a);
  }
  m.changerNom("y");
  EXPECT_EQ(premier, 1) << "jeton détruit : désabonné";
}

}  // namespace
}  // namespace ravlo
