// SPDX-License-Identifier: MPL-2.0
#include "plateforme/file_serie.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "plateforme/echeance.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// La grille d'une tâche périodique : à l'heure, pile sur l'échéance (elle est passée), bloquée
// près d'une seconde ou bien plus (une seule tâche, sur la grille).
TEST(Echeance, SauteLesPeriodesManqueesSansDeriver) {
  using Instant = std::chrono::steady_clock::time_point;
  for (const auto& [maintenant, attendue] : {std::pair{1100ms, 1200ms},
                                             {1200ms, 1400ms},
                                             {1950ms, 2000ms},
                                             {1'000'999ms, 1'001'000ms}}) {
    EXPECT_EQ(echeanceSuivante(Instant{1000ms}, 200ms, Instant{maintenant}), Instant{attendue})
        << maintenant.count();
  }
}

// Annulée depuis un autre fil pendant un tir : `annuler()` rend la main une fois ce tir
// fini, et rien ne tourne plus ensuite.
TEST(ConcurrenceMinuterie, RienNeTourneApresAnnuler) {
  FileSerie file("ravlo.essai");
  for (int essai = 0; essai < 20; ++essai) {
    std::atomic<bool> annulee{false};
    std::atomic<int> fautes{0}, tirs{0};
    std::promise<void> commence;
    auto minuterie = file.repeter(100us, 10us, [&] {
      if (annulee) ++fautes;
      if (++tirs == 1) commence.set_value();
      std::this_thread::sleep_for(200us);
      if (annulee) ++fautes;
    });
    commence.get_future().wait();
    minuterie->annuler();
    annulee = true;
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(fautes, 0) << "essai " << essai;
  }
}

// Une sonnerie pendant que la tâche tourne la fait tourner encore : la tâche lit l'état au
// début, si bien qu'une écriture faite pendant elle ne serait jamais vue sans ce second tour.
// La file occupée, des sonneries qui s'accumulent ne font qu'une exécution ; un réveil
// détruit avant d'avoir tourné ne tourne plus ; il peut se détruire depuis sa tâche.
TEST(ConcurrenceReveil, RelanceSonneriesGroupeesEtDestruction) {
  FileSerie file("ravlo.essai");
  std::atomic<int> ecrit{1};
  std::promise<void> dansLaTache, liberer, secondeVue;
  const std::shared_future<void> libere = liberer.get_future().share();
  auto reveil = file.reveil([&, tour = 0]() mutable {
    const int vu = ecrit.load();
    if (++tour == 1) {
      dansLaTache.set_value();
      libere.wait();
    }
    if (vu == 2 && tour == 2) secondeVue.set_value();
  });
  reveil->sonner();
  dansLaTache.get_future().wait();
  ecrit.store(2);
  reveil->sonner();
  liberer.set_value();
  EXPECT_EQ(secondeVue.get_future().wait_for(10s), std::future_status::ready);

  for (const bool detruire : {false, true}) {
    std::atomic<int> executions{0};
    std::promise<void> premiere, occupee;
    auto r = file.reveil([&] {
      if (++executions == 1) premiere.set_value();
    });
    file.poster([f = occupee.get_future().share()] { f.wait(); });
    for (int i = 0; i < 5; ++i) r->sonner();
    if (detruire) r.reset();
    occupee.set_value();
    EXPECT_TRUE(detruire || premiere.get_future().wait_for(10s) == std::future_status::ready);
    std::promise<void> repere;
    file.poster([&] { repere.set_value(); });
    repere.get_future().wait();
    EXPECT_EQ(executions, detruire ? 0 : 1) << detruire;
  }
  std::unique_ptr<Reveil> soi;
  std::promise<void> detruit;
  soi = file.reveil([&] {
    soi.reset();
    detruit.set_value();
  });
  soi->sonner();
  EXPECT_EQ(detruit.get_future().wait_for(10s), std::future_status::ready);
}

TEST(ConcurrenceFileSerie, DetruiteDepuisSonPropreFilPendantQuOnLuiPoste) {
  auto file = std::make_shared<FileSerie>("ravlo.essai");
  std::promise<void> fait;
  FileSerie* brute = file.get();
  brute->poster([file = std::move(file), &fait]() mutable {
    file.reset();  // la dernière référence part sur le fil même de la file
    fait.set_value();
  });
  EXPECT_EQ(fait.get_future().wait_for(2s), std::future_status::ready);
}

}  // namespace
}  // namespace ravlo
