// SPDX-License-Identifier: MPL-2.0
#include "plateforme/demande_temps_reel.hpp"

#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "plateforme/systemd/ordonnancement_linux.hpp"

namespace ravlo {
namespace {

/// Le noyau et rtkit joués : ce qu'ils répondent, ce qu'on leur a demandé.
struct OrdonnancementJoue final : AccesOrdonnancement {
  int direct = EPERM;
  std::expected<BornesRtkit, int> bornes = std::unexpected(ENOENT);
  std::uint64_t limiteUs = UINT64_MAX;
  int limiter = 0;
  int rtkit = 0;

  std::optional<int> prioriteDirecte, prioriteRtkit;
  std::optional<std::uint64_t> limiteFixee;
  pid_t filRtkit = 0;

  int fifoDirect(pid_t, int priorite) override {
    prioriteDirecte = priorite;
    return direct;
  }
  std::expected<BornesRtkit, int> bornesRtkit() override { return bornes; }
  std::uint64_t tempsCpuLimiteUs() override { return limiteUs; }
  int limiterTempsCpu(std::uint64_t us) override {
    limiteFixee = us;
    return limiter;
  }
  int fifoParRtkit(pid_t tid, int priorite) override {
    filRtkit = tid;
    prioriteRtkit = priorite;
    return rtkit;
  }
};

using Bornes = AccesOrdonnancement::BornesRtkit;
constexpr auto rien = std::nullopt;

TEST(DemandeTempsReel, LeNoyauDAbordPuisRtkitSousSesBornes) {
  struct Cas {
    std::string nom;
    int direct;
    std::expected<Bornes, int> bornes;
    std::uint64_t limiteUs;
    int limiter, rtkit;
    std::optional<RefusTempsReel> attendu;
    std::optional<std::uint64_t> limiteFixee;
    std::optional<int> prioriteRtkit;
  };
  const auto refus = [](CasRefusTempsReel c, int e) { return RefusTempsReel{c, e}; };
  const std::uint64_t infini = UINT64_MAX;
  const Cas cas[] = {
      {"root ou RLIMIT_RTPRIO : rtkit n'est pas dérangé", 0, std::unexpected(ENOENT), infini, 0, 0,
       rien, rien, rien},
      {"sans bus système", EPERM, std::unexpected(ENOENT), infini, 0, 0,
       refus(CasRefusTempsReel::serviceAbsent, ENOENT), rien, rien},
      {"rtkit : la limite de temps CPU descend à la sienne", EPERM, Bornes{20, 200'000}, infini, 0,
       0, rien, 200'000, 4},
      {"une limite déjà plus basse reste, la priorité suit celle de rtkit", EPERM,
       Bornes{2, 200'000}, 50'000, 0, 0, rien, rien, 2},
      {"rtkit refuse", EPERM, Bornes{20, 200'000}, 200'000, 0, EACCES,
       refus(CasRefusTempsReel::refuse, EACCES), rien, 4},
      {"rtkit ne permet aucune priorité", EPERM, Bornes{0, 200'000}, infini, 0, 0,
       refus(CasRefusTempsReel::refuse, EPERM), rien, rien},
      {"la limite ne se fixe pas : rtkit refuserait", EPERM, Bornes{20, 200'000}, infini, EPERM, 0,
       refus(CasRefusTempsReel::refuse, EPERM), 200'000, rien},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    OrdonnancementJoue joue;
    joue.direct = c.direct;
    joue.bornes = c.bornes;
    joue.limiteUs = c.limiteUs;
    joue.limiter = c.limiter;
    joue.rtkit = c.rtkit;
    DemandeTempsReel demande(joue);
    EXPECT_EQ(demande.rendreTempsReel(1234), c.attendu);
    EXPECT_EQ(joue.prioriteDirecte, DemandeTempsReel::prioriteVoulue);
    EXPECT_EQ(joue.limiteFixee, c.limiteFixee);
    EXPECT_EQ(joue.prioriteRtkit, c.prioriteRtkit);
    if (c.prioriteRtkit) {
      EXPECT_EQ(joue.filRtkit, 1234);
    }
  }
}

// Le vrai noyau (rtkit s'il le faut), sur un fil que l'essai tient : il passe en SCHED_FIFO,
// que ses enfants ne gardent pas, et le fil qui demande reste ordinaire.
TEST(OrdonnancementLinux, UnAutreFilDuProcessusPasseEnFifo) {
  std::promise<pid_t> pret;
  std::promise<void> fin;
  std::thread fil([&pret, f = fin.get_future()] {
    pret.set_value(filCourant());
    f.wait();
  });
  const pid_t tid = pret.get_future().get();
  const auto obtenu = planificationSysteme().rendreTempsReel(tid);
  const int politique = ::sched_getscheduler(tid);
  sched_param p{};
  ::sched_getparam(tid, &p);
  fin.set_value();
  fil.join();
  // root (la CI) a toujours le droit ; ailleurs, sans RLIMIT_RTPRIO ni rtkit, rien à voir.
  if (obtenu && ::geteuid() != 0) {
    GTEST_SKIP() << "temps réel refusé ici (errno " << obtenu->code
                 << ") : ni root, ni RLIMIT_RTPRIO, ni rtkit";
  }
  ASSERT_EQ(obtenu, std::nullopt) << "refusé à root, errno " << obtenu->code;
  EXPECT_EQ(politique, SCHED_FIFO | SCHED_RESET_ON_FORK);
  EXPECT_GE(p.sched_priority, 1);
  EXPECT_LE(p.sched_priority, DemandeTempsReel::prioriteVoulue);
  EXPECT_EQ(::sched_getscheduler(filCourant()), SCHED_OTHER);
}

}  // namespace
}  // namespace ravlo
