// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace ravlo {

/// Jeton d'abonnement à un modèle : tant qu'il vit, l'observateur est prévenu ; le détruire
/// (ou appeler `resilier`) le désabonne. Il peut survivre au modèle sans danger.
class Abonnement {
 public:
  Abonnement() = default;
  Abonnement(std::weak_ptr<void> observateurs, std::function<void()> retrait)
      : observateurs_(std::move(observateurs)), retrait_(std::move(retrait)) {}
  ~Abonnement() { resilier(); }
  Abonnement(Abonnement&& autre) noexcept
      : observateurs_(std::move(autre.observateurs_)),
        retrait_(std::exchange(autre.retrait_, {})) {}
  Abonnement& operator=(Abonnement&& autre) noexcept {
    if (this != &autre) {
      resilier();
      observateurs_ = std::move(autre.observateurs_);
      retrait_ = std::exchange(autre.retrait_, {});
    }
    return *this;
  }
  Abonnement(const Abonnement&) = delete;
  Abonnement& operator=(const Abonnement&) = delete;

  void resilier() {
    if (retrait_ && !observateurs_.expired()) retrait_();
    retrait_ = {};
    observateurs_.reset();
  }

 private:
  std::weak_ptr<void> observateurs_;
  std::function<void()> retrait_;
};

/// Base des modèles observables : lus et écrits sur le fil principal seulement. Un setter
/// passe par `changer`, qui compare avec la valeur gardée (par l'égalité du type) et ne
/// prévient les observateurs que si elle diffère. Un observateur peut se désabonner, ou en
/// abonner un autre, pendant qu'on le prévient : la liste parcourue est une copie.
class ModeleObservable {
 public:
  using Observateur = std::function<void()>;

  [[nodiscard]] Abonnement observer(Observateur observateur) {
    const std::uint64_t numero = suivant_++;
    observateurs_->emplace(numero, std::move(observateur));
    std::weak_ptr<Liste> liste = observateurs_;
    return {observateurs_, [liste, numero] {
              if (auto l = liste.lock()) l->erase(numero);
            }};
  }

 protected:
  ModeleObservable() = default;
  ~ModeleObservable() = default;
  ModeleObservable(const ModeleObservable&) = delete;
  ModeleObservable& operator=(const ModeleObservable&) = delete;

  /// Vrai si la valeur a changé (et les observateurs ont été prévenus).
  template <typename T, typename U>
  bool changer(T& champ, U&& valeur) {
    if (champ == valeur) return false;
    champ = std::forward<U>(valeur);
    prevenir();
    return true;
  }

  void prevenir() {
    const Liste copie = *observateurs_;
    for (const auto& [numero, observateur] : copie) {
      // Un observateur retiré par un précédent n'est plus prévenu.
      if (observateurs_->contains(numero)) observateur();
    }
  }

 private:
  using Liste = std::map<std::uint64_t, Observateur>;
  std::shared_ptr<Liste> observateurs_ = std::make_shared<Liste>();
  std::uint64_t suivant_ = 0;
};

}  // namespace ravlo
