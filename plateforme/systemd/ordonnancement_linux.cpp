// SPDX-License-Identifier: MPL-2.0
#include "plateforme/systemd/ordonnancement_linux.hpp"

#include <sched.h>
#include <sys/resource.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

namespace ravlo {

namespace {

constexpr const char* service = "org.freedesktop.RealtimeKit1";
constexpr const char* chemin = "/org/freedesktop/RealtimeKit1";
constexpr std::uint64_t attenteMaxUs = 500'000;

struct FermerBus {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, FermerBus>;

/// Le bus système, ou -errno.
std::expected<Bus, int> ouvrirBus() {
  sd_bus* bus = nullptr;
  if (const int r = sd_bus_open_system(&bus); r < 0) return std::unexpected(-r);
  Bus b(bus);
  if (const int r = sd_bus_set_method_call_timeout(bus, attenteMaxUs); r < 0) {
    return std::unexpected(-r);
  }
  return b;
}

/// errno d'une réponse d'erreur du bus (jamais 0).
int errnoDe(const sd_bus_error& erreur, int r) {
  const int e = sd_bus_error_get_errno(&erreur);
  return e != 0 ? e : (r < 0 ? -r : EIO);
}

}  // namespace

int OrdonnancementLinux::fifoDirect(pid_t tid, int priorite) {
  sched_param p{};
  p.sched_priority = priorite;
  return ::sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &p) == 0 ? 0 : errno;
}

std::expected<AccesOrdonnancement::BornesRtkit, int> OrdonnancementLinux::bornesRtkit() {
  auto bus = ouvrirBus();
  if (!bus) return std::unexpected(bus.error());
  BornesRtkit bornes;
  sd_bus_error erreur{};  // SD_BUS_ERROR_NULL, sans littéral composé de C
  std::int32_t priorite = 0;
  int r = sd_bus_get_property_trivial(bus->get(), service, chemin, service, "MaxRealtimePriority",
                                      &erreur, 'i', &priorite);
  std::int64_t tempsUs = 0;
  if (r >= 0) {
    r = sd_bus_get_property_trivial(bus->get(), service, chemin, service, "RTTimeUSecMax", &erreur,
                                    'x', &tempsUs);
  }
  if (r < 0) {
    const int e = errnoDe(erreur, r);
    sd_bus_error_free(&erreur);
    return std::unexpected(e);
  }
  bornes.prioriteMax = priorite;
  bornes.tempsCpuMaxUs = tempsUs;
  return bornes;
}

std::uint64_t OrdonnancementLinux::tempsCpuLimiteUs() {
  rlimit l{};
  if (::getrlimit(RLIMIT_RTTIME, &l) != 0 || l.rlim_max == RLIM_INFINITY) return UINT64_MAX;
  return l.rlim_max;
}

int OrdonnancementLinux::limiterTempsCpu(std::uint64_t us) {
  const rlimit l{.rlim_cur = us, .rlim_max = us};
  return ::setrlimit(RLIMIT_RTTIME, &l) == 0 ? 0 : errno;
}

int OrdonnancementLinux::fifoParRtkit(pid_t tid, int priorite) {
  auto bus = ouvrirBus();
  if (!bus) return bus.error();
  sd_bus_error erreur{};  // SD_BUS_ERROR_NULL, sans littéral composé de C
  // Avec le PID : rtkit ne le lit pas alors sur la connexion, que fausserait un espace de
  // noms de PID.
  const int r =
      sd_bus_call_method(bus->get(), service, chemin, service, "MakeThreadRealtimeWithPID", &erreur,
                         nullptr, "ttu", static_cast<std::uint64_t>(::getpid()),
                         static_cast<std::uint64_t>(tid), static_cast<std::uint32_t>(priorite));
  if (r < 0) {
    const int e = errnoDe(erreur, r);
    sd_bus_error_free(&erreur);
    return e;
  }
  return 0;
}

PlanificationTempsReel& planificationSysteme() {
  static OrdonnancementLinux acces;
  static DemandeTempsReel demande(acces);
  return demande;
}

}  // namespace ravlo
