// SPDX-License-Identifier: MPL-2.0
#include "plateforme/reveil_asio.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <asio/buffer.hpp>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ravlo {
namespace {

// Tenu par le réveil et par l'attente en cours. Le descripteur asio n'est touché que sur la
// file ; `sonner` n'écrit que dans l'eventfd, ouvert tant que le réveil existe. Comme pour
// les minuteries, la tâche tourne sous `tir` : une destruction venue d'un autre fil attend
// la fin de l'exécution en cours.
struct EtatReveil : std::enable_shared_from_this<EtatReveil> {
  EtatReveil(asio::io_context& c, int f, Tache t) : contexte(c), fd(f), tache(std::move(t)) {
    if (fd >= 0) descripteur.assign(fd);
  }

  // La lecture vide l'eventfd : asio la fait dès que le contexte le voit prêt.
  void guetter() {
    descripteur.async_read_some(
        asio::buffer(&lu, sizeof lu),
        [moi = shared_from_this()](const std::error_code& erreur, std::size_t) {
          if (erreur || moi->annule.load()) return;
          if (moi->executer()) moi->guetter();
        });
  }

  void sonner() {
    // Une sonnerie en attente suffit : elle n'est réarmée qu'au réveil, avant la tâche.
    if (arme.exchange(true)) return;
    if (fd >= 0) {
      const std::uint64_t un = 1;
      [[maybe_unused]] const auto ecrit = ::write(fd, &un, sizeof un);
      return;
    }
    asio::post(contexte, [moi = shared_from_this()] {
      if (!moi->annule.load()) moi->executer();
    });
  }

  // Faux si le réveil est détruit, avant ou pendant la tâche.
  bool executer() {
    const std::lock_guard garde(tir);
    if (annule.load()) return false;
    arme.store(false);
    tireur.store(std::this_thread::get_id());
    tache();
    tireur.store(std::thread::id{});
    return !annule.load();
  }

  void annuler() {
    annule.store(true);
    if (tireur.load() != std::this_thread::get_id()) {
      const std::lock_guard garde(tir);  // attend la fin de la tâche en cours
    }
    if (fd >= 0) {
      asio::post(contexte, [moi = shared_from_this()] {
        std::error_code ignore;
        moi->descripteur.cancel(ignore);
      });
    }
  }

  asio::io_context& contexte;
  asio::posix::stream_descriptor descripteur{contexte};
  const int fd;
  Tache tache;
  std::uint64_t lu = 0;
  std::atomic<bool> arme{false};
  std::atomic<bool> annule{false};
  std::mutex tir;
  std::atomic<std::thread::id> tireur;
};

class ReveilAsio final : public Reveil {
 public:
  explicit ReveilAsio(std::shared_ptr<EtatReveil> etat) : etat_(std::move(etat)) {}
  ~ReveilAsio() override { etat_->annuler(); }
  ReveilAsio(const ReveilAsio&) = delete;
  ReveilAsio& operator=(const ReveilAsio&) = delete;

  void sonner() override { etat_->sonner(); }

 private:
  std::shared_ptr<EtatReveil> etat_;
};

}  // namespace

std::unique_ptr<Reveil> reveilAsio(asio::io_context& contexte, Tache tache) {
  const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  auto etat = std::make_shared<EtatReveil>(contexte, fd, std::move(tache));
  // L'attente touche le descripteur : sur le fil du contexte.
  if (fd >= 0) {
    asio::post(contexte, [etat] {
      if (!etat->annule.load()) etat->guetter();
    });
  }
  return std::make_unique<ReveilAsio>(std::move(etat));
}

}  // namespace ravlo
