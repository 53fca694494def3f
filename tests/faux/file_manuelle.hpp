#pragma once

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <map>
#include <memory>

#include "faux/horloge_manuelle.hpp"
#include "link/plateforme/executeur.hpp"

namespace ravlo::faux {

/// File dont le test tient le temps : rien ne tourne tant qu'on n'appelle pas `executer()`
/// ou `avancer()`, et les échéances suivent l'horloge manuelle. Les coroutines et les
/// rappels postés tournent sur son contexte asio, sur le fil du test.
class FileManuelle final : public File {
 public:
  explicit FileManuelle(HorlogeManuelle& horloge) : horloge_(horloge) {}

  void poster(Tache tache) override { asio::post(contexte_, std::move(tache)); }

  void posterApres(std::chrono::nanoseconds delai, Tache tache) override {
    echeances_.emplace(
        Cle{horloge_.continueNs() + static_cast<InstantNs>(delai.count()), suivant_++},
        Echeance{std::move(tache), {}, nullptr});
  }

  [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                   std::chrono::nanoseconds /*tolerance*/,
                                                   Tache tache) override {
    auto annulee = std::make_shared<std::atomic<bool>>(false);
    echeances_.emplace(Cle{horloge_.continueNs(), suivant_++},
                       Echeance{std::move(tache), intervalle, annulee});
    return std::make_unique<MinuterieManuelle>(annulee);
  }

  [[nodiscard]] asio::io_context& contexte() override { return contexte_; }

  /// Exécute tout ce qui est prêt maintenant, y compris ce que ces tâches postent.
  void executer() {
    while (true) {
      contexte_.restart();
      if (contexte_.poll() > 0) continue;
      const auto prete = echeances_.begin();
      if (prete == echeances_.end() || prete->first.instant > horloge_.continueNs()) return;
      lancer(prete);
    }
  }

  /// Avance l'horloge de `d` en s'arrêtant à chaque échéance pour l'exécuter à son heure.
  void avancer(std::chrono::nanoseconds d) {
    const InstantNs cible = horloge_.continueNs() + static_cast<InstantNs>(d.count());
    executer();
    while (!echeances_.empty() && echeances_.begin()->first.instant <= cible) {
      const InstantNs instant = echeances_.begin()->first.instant;
      if (instant > horloge_.continueNs())
        horloge_.avancer(std::chrono::nanoseconds(instant - horloge_.continueNs()));
      executer();
    }
    horloge_.avancer(std::chrono::nanoseconds(cible - horloge_.continueNs()));
    executer();
  }

  /// Échéances encore prévues (minuteries répétitives comprises, même annulées).
  [[nodiscard]] std::size_t echeancesPrevues() const { return echeances_.size(); }

 private:
  struct Cle {
    InstantNs instant;
    std::uint64_t ordre;
    bool operator<(const Cle& autre) const {
      return instant != autre.instant ? instant < autre.instant : ordre < autre.ordre;
    }
  };
  struct Echeance {
    Tache tache;
    std::chrono::nanoseconds intervalle;
    std::shared_ptr<std::atomic<bool>> annulee;  // minuteries répétitives seulement
  };
  class MinuterieManuelle final : public Minuterie {
   public:
    explicit MinuterieManuelle(std::shared_ptr<std::atomic<bool>> a) : annulee_(std::move(a)) {}
    ~MinuterieManuelle() override { annulee_->store(true); }
    void annuler() override { annulee_->store(true); }

   private:
    std::shared_ptr<std::atomic<bool>> annulee_;
  };

  void lancer(std::map<Cle, Echeance>::iterator it) {
    const Cle cle = it->first;
    Echeance e = std::move(it->second);
    echeances_.erase(it);
    if (e.annulee && e.annulee->load()) return;
    if (e.annulee) {
      Echeance suite{e.tache, e.intervalle, e.annulee};
      echeances_.emplace(
          Cle{cle.instant + static_cast<InstantNs>(e.intervalle.count()), suivant_++},
          std::move(suite));
    }
    e.tache();
  }

  HorlogeManuelle& horloge_;
  asio::io_context contexte_{1};
  std::map<Cle, Echeance> echeances_;
  std::uint64_t suivant_ = 0;
};

}  // namespace ravlo::faux
