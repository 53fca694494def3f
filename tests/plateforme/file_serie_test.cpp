// SPDX-License-Identifier: MPL-2.0
#include "plateforme/file_serie.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <utility>

namespace ravlo {
namespace {

using namespace std::chrono_literals;

// Annulée depuis un autre fil pendant un tir : `annuler()` rend la main une fois ce tir
// fini, et rien ne tourne plus ensuite.
TEST(ConcurrenceMinuterie, RienNeTourneApresAnnuler) {
  FileSerie file("ravlo.essai");
  for (int essai = 0; essai < 20; ++essai) {
    std::atomic<bool> annulee{false};
    std::atomic<int> fautes{0};
    std::promise<void> commence;
    std::atomic<int> tirs{0};
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
TEST(ConcurrenceReveil, UneSonneriePendantLaTacheLaRelance) {
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
}

// La file occupée, des sonneries qui s'accumulent ne font qu'une exécution ; un réveil
// détruit avant d'avoir tourné ne tourne plus ; il peut se détruire depuis sa tâche.
TEST(ConcurrenceReveil, SonneriesGroupeesEtDestruction) {
  FileSerie file("ravlo.essai");
  const auto attendreLaFile = [&] {
    std::promise<void> repere;
    file.poster([&] { repere.set_value(); });
    repere.get_future().wait();
  };
  const auto occuper = [&](std::shared_future<void> liberer) {
    file.poster([liberer] { liberer.wait(); });
  };
  for (const bool detruire : {false, true}) {
    SCOPED_TRACE(detruire);
    std::atomic<int> executions{0};
    std::promise<void> premiere;
    auto reveil = file.reveil([&] {
      if (++executions == 1) premiere.set_value();
    });
    std::promise<void> liberer;
    occuper(liberer.get_future().share());
    for (int i = 0; i < 5; ++i) reveil->sonner();
    if (detruire) reveil.reset();
    liberer.set_value();
    if (!detruire) {
      EXPECT_EQ(premiere.get_future().wait_for(10s), std::future_status::ready);
    }
    attendreLaFile();
    EXPECT_EQ(executions, detruire ? 0 : 1);
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

TEST(FileSerie, DetruiteDepuisSonPropreFil) {
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
