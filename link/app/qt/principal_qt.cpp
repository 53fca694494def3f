// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/principal_qt.hpp"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>

#include "plateforme/horloge.hpp"

namespace ravlo {

namespace {

// Sur le fil principal : lance `tache` une fois l'échéance (horloge continue) passée. Les
// minuteries de Qt comptent en millisecondes sur une autre horloge : on arrondit au-dessus
// et on revérifie au réveil.
void armer(QObject* contexte, InstantNs echeance, Tache tache) {
  const InstantNs maintenant = horlogeSysteme().continueNs();
  if (maintenant >= echeance) {
    tache();
    return;
  }
  const auto reste =
      std::chrono::ceil<std::chrono::milliseconds>(std::chrono::nanoseconds(echeance - maintenant));
  QTimer::singleShot(reste, Qt::PreciseTimer, contexte,
                     [contexte, echeance, tache = std::move(tache)]() mutable {
                       armer(contexte, echeance, std::move(tache));
                     });
}

// Tenu par les tirs en attente ; l'annulation peut venir de n'importe quel fil.
struct EtatRepetition {
  EtatRepetition(QObject* c, std::chrono::nanoseconds i, Tache t)
      : contexte(c), intervalle(i), tache(std::move(t)) {}

  QObject* contexte;
  std::chrono::nanoseconds intervalle;
  Tache tache;
  InstantNs echeance = 0;  // fil principal seulement
  std::atomic<bool> annulee{false};
};

void tirer(const std::shared_ptr<EtatRepetition>& etat) {
  if (etat->annulee.load()) return;
  etat->tache();
  if (etat->annulee.load()) return;
  // Sans dérive : depuis l'échéance précédente ; les tirs manqués sont sautés, pas rejoués.
  const auto pas = static_cast<InstantNs>(etat->intervalle.count());
  const InstantNs maintenant = horlogeSysteme().continueNs();
  InstantNs prochaine = etat->echeance + pas;
  if (prochaine <= maintenant) prochaine += ((maintenant - prochaine) / pas + 1) * pas;
  etat->echeance = prochaine;
  armer(etat->contexte, prochaine, [etat] { tirer(etat); });
}

class MinuterieQt final : public Minuterie {
 public:
  explicit MinuterieQt(std::shared_ptr<EtatRepetition> etat) : etat_(std::move(etat)) {}
  ~MinuterieQt() override { MinuterieQt::annuler(); }
  MinuterieQt(const MinuterieQt&) = delete;
  MinuterieQt& operator=(const MinuterieQt&) = delete;

  void annuler() override { etat_->annulee.store(true); }

 private:
  std::shared_ptr<EtatRepetition> etat_;
};

}  // namespace

PrincipalQt::PrincipalQt() : contexte_(std::make_unique<QObject>()) {}

PrincipalQt::~PrincipalQt() = default;

void PrincipalQt::poster(Tache tache) {
  QMetaObject::invokeMethod(contexte_.get(), std::move(tache), Qt::QueuedConnection);
}

void PrincipalQt::posterApres(std::chrono::nanoseconds delai, Tache tache) {
  const InstantNs echeance = horlogeSysteme().continueNs() +
                             static_cast<InstantNs>(std::max<std::int64_t>(delai.count(), 0));
  QObject* contexte = contexte_.get();
  poster([contexte, echeance, tache = std::move(tache)]() mutable {
    armer(contexte, echeance, std::move(tache));
  });
}

std::unique_ptr<Minuterie> PrincipalQt::repeter(std::chrono::nanoseconds intervalle,
                                                std::chrono::nanoseconds /*tolerance*/,
                                                Tache tache) {
  auto etat = std::make_shared<EtatRepetition>(
      contexte_.get(), std::max(intervalle, std::chrono::nanoseconds(1)), std::move(tache));
  poster([etat] {
    etat->echeance = horlogeSysteme().continueNs();
    tirer(etat);
  });
  return std::make_unique<MinuterieQt>(std::move(etat));
}

}  // namespace ravlo
