// SPDX-License-Identifier: MPL-2.0
#include "bench/relais/relais_udp.hpp"

#include <array>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace ravlo::boucle {

using asio::ip::udp;

struct RelaisUDP::Etat {
  Etat(std::uint16_t portDestination, Reglages r)
      : reglages(r),
        aleaAller(r.graine),
        aleaRetour(r.graine ^ 0x9E3779B97F4A7C15ULL),
        destination(asio::ip::make_address("127.0.0.1"), portDestination) {}

  // Un sens du relais : lit sur `entree`, écrit sur `sortie` vers `vers()`.
  template <typename Vers>
  void relayer(udp::socket& entree, udp::socket& sortie, std::array<std::uint8_t, 65'536>& tampon,
               udp::endpoint& source, std::mt19937_64& alea, Vers vers) {
    entree.async_receive_from(
        asio::buffer(tampon), source,
        [this, &entree, &sortie, &tampon, &source, &alea, vers](const std::error_code& e,
                                                                std::size_t n) {
          if (e == asio::error::operation_aborted) return;
          if (!e) {
            if (&entree == &cote) client = source;
            if (coupe() || std::bernoulli_distribution(reglages.perte)(alea)) {
              ++perdus;
            } else {
              auto retard = reglages.delai +
                            std::chrono::microseconds(std::uniform_int_distribution<std::int64_t>(
                                0, reglages.gigue.count())(alea));
              auto donnees = std::make_shared<std::vector<std::uint8_t>>(
                  tampon.begin(), tampon.begin() + static_cast<std::ptrdiff_t>(n));
              if (&entree == &cote) retenir(*donnees);
              auto minuterie = std::make_shared<asio::steady_timer>(contexte, retard);
              minuterie->async_wait(
                  [this, &sortie, donnees, minuterie, vers](const std::error_code& e2) {
                    if (e2) return;
                    std::error_code ignoree;
                    sortie.send_to(asio::buffer(*donnees), vers(), 0, ignoree);
                    ++transmis;
                  });
            }
          }
          relayer(entree, sortie, tampon, source, alea, vers);
        });
  }

  void retenir(const std::vector<std::uint8_t>& d) {
    const std::lock_guard tenu(verrou);
    if (derniers.size() == 256) derniers.pop_front();
    derniers.push_back(d);
  }

  [[nodiscard]] bool coupe() const {
    if (coupeMain.load()) return true;
    if (reglages.coupureToutes.count() <= 0) return false;
    const auto dans = (std::chrono::steady_clock::now() - debut) % reglages.coupureToutes;
    return dans >= reglages.coupureToutes - reglages.coupureDuree;
  }

  Reglages reglages;
  std::chrono::steady_clock::time_point debut = std::chrono::steady_clock::now();
  // Un tirage par sens : les décisions d'un sens ne dépendent pas de l'ordre d'arrivée de l'autre.
  std::mt19937_64 aleaAller;
  std::mt19937_64 aleaRetour;
  asio::io_context contexte{1};
  asio::executor_work_guard<asio::io_context::executor_type> garde{contexte.get_executor()};
  udp::endpoint destination;
  udp::socket cote{contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0)};
  udp::socket amont{contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0)};
  std::array<std::uint8_t, 65'536> tamponCote{};
  std::array<std::uint8_t, 65'536> tamponAmont{};
  udp::endpoint sourceCote;
  udp::endpoint sourceAmont;
  udp::endpoint client;
  std::atomic<std::uint64_t> perdus{0};
  std::atomic<std::uint64_t> transmis{0};
  std::atomic<bool> coupeMain{false};
  mutable std::mutex verrou;
  std::deque<std::vector<std::uint8_t>> derniers;
  std::thread fil;
};

RelaisUDP::RelaisUDP(std::uint16_t portDestination, Reglages reglages)
    : etat_(std::make_unique<Etat>(portDestination, reglages)) {
  Etat* e = etat_.get();
  e->relayer(e->cote, e->amont, e->tamponCote, e->sourceCote, e->aleaAller,
             [e] { return e->destination; });
  e->relayer(e->amont, e->cote, e->tamponAmont, e->sourceAmont, e->aleaRetour,
             [e] { return e->client; });
  e->fil = std::thread([e] { e->contexte.run(); });
}

RelaisUDP::~RelaisUDP() {
  etat_->contexte.stop();
  etat_->fil.join();
}

std::uint16_t RelaisUDP::port() const {
  return etat_->cote.local_endpoint().port();
}
std::uint64_t RelaisUDP::perdus() const {
  return etat_->perdus.load();
}
std::uint64_t RelaisUDP::transmis() const {
  return etat_->transmis.load();
}
void RelaisUDP::couper(bool coupe) {
  etat_->coupeMain.store(coupe);
}
std::vector<std::vector<std::uint8_t>> RelaisUDP::derniersAller() const {
  const std::lock_guard garde(etat_->verrou);
  return {etat_->derniers.begin(), etat_->derniers.end()};
}

}  // namespace ravlo::boucle
