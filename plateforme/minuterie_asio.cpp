// SPDX-License-Identifier: MPL-2.0
#include "plateforme/minuterie_asio.hpp"

#include "plateforme/echeance.hpp"

#include <time.h>

#include <asio/post.hpp>
#include <atomic>
#include <mutex>
#include <thread>

namespace ravlo {

HorlogeContinueChrono::time_point HorlogeContinueChrono::now() noexcept {
  timespec t{};
  clock_gettime(CLOCK_BOOTTIME, &t);
  return time_point(duration(static_cast<rep>(t.tv_sec) * 1'000'000'000 + t.tv_nsec));
}

namespace {

// État d'une minuterie, tenu par ses tirs en attente : la minuterie asio n'est touchée que
// sur la file, l'annulation peut venir d'ailleurs. Un tir vérifie l'annulation et exécute
// la tâche sous `tir` : une annulation venue d'un autre fil attend la fin du tir en cours,
// si bien qu'aucun tir ne commence ni ne dure après elle.
struct EtatMinuterie : std::enable_shared_from_this<EtatMinuterie> {
  EtatMinuterie(asio::io_context& contexte, std::chrono::nanoseconds i, Tache t)
      : minuterie(contexte), intervalle(i), tache(std::move(t)) {}

  void armer() {
    std::weak_ptr<EtatMinuterie> faible = weak_from_this();
    minuterie.async_wait([faible](const std::error_code& erreur) {
      const auto moi = faible.lock();
      if (erreur || !moi || !moi->tirer()) return;
      moi->minuterie.expires_at(
          echeanceSuivante(moi->minuterie.expiry(), moi->intervalle, HorlogeContinueChrono::now()));
      moi->armer();
    });
  }

  // Faux si la minuterie est annulée, avant ou pendant la tâche.
  bool tirer() {
    const std::lock_guard garde(tir);
    if (annulee.load()) return false;
    tireur.store(std::this_thread::get_id());
    tache();
    tireur.store(std::thread::id{});
    return !annulee.load();
  }

  // Sûr depuis n'importe quel fil, et depuis la tâche même.
  void annuler() {
    if (annulee.exchange(true)) return;
    if (tireur.load() != std::this_thread::get_id()) {
      const std::lock_guard garde(tir);  // attend la fin du tir en cours
    }
    asio::post(minuterie.get_executor(), [moi = shared_from_this()] { moi->minuterie.cancel(); });
  }

  MinuterieAsio minuterie;
  std::chrono::nanoseconds intervalle;
  Tache tache;
  std::atomic<bool> annulee{false};
  std::mutex tir;
  std::atomic<std::thread::id> tireur;
};

class MinuterieSerie final : public Minuterie {
 public:
  explicit MinuterieSerie(std::shared_ptr<EtatMinuterie> etat) : etat_(std::move(etat)) {}
  ~MinuterieSerie() override { MinuterieSerie::annuler(); }

  void annuler() override { etat_->annuler(); }

 private:
  std::shared_ptr<EtatMinuterie> etat_;
};

}  // namespace

void posterApresAsio(asio::io_context& contexte, std::chrono::nanoseconds delai, Tache tache) {
  auto minuterie = std::make_shared<MinuterieAsio>(contexte);
  minuterie->expires_after(delai);
  minuterie->async_wait([minuterie, tache = std::move(tache)](const std::error_code& erreur) {
    if (!erreur) tache();
  });
}

std::unique_ptr<Minuterie> repeterAsio(asio::io_context& contexte,
                                       std::chrono::nanoseconds intervalle, Tache tache) {
  auto etat = std::make_shared<EtatMinuterie>(contexte, intervalle, std::move(tache));
  // L'armement touche la minuterie asio : sur le fil du contexte.
  asio::post(contexte, [etat] {
    if (etat->annulee.load()) return;
    etat->minuterie.expires_at(HorlogeContinueChrono::now());
    etat->armer();
  });
  return std::make_unique<MinuterieSerie>(std::move(etat));
}

}  // namespace ravlo
