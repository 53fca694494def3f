// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"

namespace ravlo::faux {

/// Horloge que la file manuelle avance ; l'horloge continue garde une avance fixe sur
/// l'horloge hôte, comme après une veille ancienne.
class HorlogeManuelle final : public Horloge {
 public:
  [[nodiscard]] InstantNs hoteNs() const override { return hote_.load(); }
  [[nodiscard]] InstantNs continueNs() const override { return hote_.load() + ecart; }
  void avancer(InstantNs d) { hote_ += d; }

 private:
  static constexpr InstantNs ecart = 4'000'000'000'000;
  std::atomic<InstantNs> hote_{1'000'000'000'000};
};

/// File dont le test tient le temps : rien ne tourne tant qu'on n'appelle pas `executer()`
/// ou `avancer()`, et les échéances suivent l'horloge manuelle. Les coroutines et les
/// rappels postés tournent sur son contexte asio, sur le fil du test.
class FileManuelle final : public File {
 public:
  explicit FileManuelle(HorlogeManuelle& horloge) : horloge_(horloge) {}

  void poster(Tache tache) override { asio::post(contexte_, std::move(tache)); }
  void posterApres(std::chrono::nanoseconds delai, Tache tache) override {
    echeances_.emplace(horloge_.continueNs() + delai.count(), Echeance{std::move(tache), {}, {}});
  }
  [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                   std::chrono::nanoseconds /*tolerance*/,
                                                   Tache tache) override {
    auto m = std::make_unique<MinuterieManuelle>();
    echeances_.emplace(horloge_.continueNs(), Echeance{std::move(tache), intervalle, m->annulee});
    return m;
  }
  [[nodiscard]] asio::io_context& contexte() override { return contexte_; }
  /// Sonner ne fait que lever un drapeau (rien n'alloue, comme le vrai) ; la tâche tourne au
  /// prochain `executer()`, une fois pour toutes les sonneries d'avant.
  [[nodiscard]] std::unique_ptr<Reveil> reveil(Tache tache) override {
    auto r = std::make_unique<ReveilManuel>(std::move(tache));
    reveils_.push_back(r->etat);
    return r;
  }

  /// Exécute tout ce qui est prêt maintenant, y compris ce que ces tâches postent.
  void executer() {
    for (;;) {
      contexte_.restart();
      if (contexte_.poll() > 0 || reveiller()) continue;
      const auto it = echeances_.begin();
      if (it == echeances_.end() || it->first > horloge_.continueNs()) return;
      const InstantNs instant = it->first;
      Echeance e = std::move(it->second);
      echeances_.erase(it);
      if (e.annulee && *e.annulee) continue;
      if (e.annulee) echeances_.emplace(instant + e.intervalle.count(), e);
      e.tache();
    }
  }

  /// Avance l'horloge de `d` en s'arrêtant à chaque échéance pour l'exécuter à son heure.
  void avancer(std::chrono::nanoseconds d) {
    const InstantNs cible = horloge_.continueNs() + d.count();
    for (executer(); horloge_.continueNs() < cible; executer()) {
      const InstantNs suite = echeances_.empty() ? cible : echeances_.begin()->first;
      horloge_.avancer(std::min(suite, cible) - horloge_.continueNs());
    }
  }

 private:
  struct Echeance {
    Tache tache;
    std::chrono::nanoseconds intervalle;
    std::shared_ptr<bool> annulee;  // minuteries répétitives seulement
  };
  struct MinuterieManuelle final : Minuterie {
    std::shared_ptr<bool> annulee = std::make_shared<bool>(false);
    ~MinuterieManuelle() override { annuler(); }
    void annuler() override { *annulee = true; }
  };

  struct EtatReveil {
    explicit EtatReveil(Tache t) : tache(std::move(t)) {}
    Tache tache;
    std::atomic<bool> sonne{false};
  };
  struct ReveilManuel final : Reveil {
    explicit ReveilManuel(Tache t) : etat(std::make_shared<EtatReveil>(std::move(t))) {}
    void sonner() override { etat->sonne = true; }
    std::shared_ptr<EtatReveil> etat;
  };

  // Vrai si une tâche de réveil a tourné. N'alloue rien : les essais d'allocation comptent
  // `executer()` entier.
  bool reveiller() {
    std::erase_if(reveils_, [](const auto& r) { return r.expired(); });
    for (std::size_t i = 0; i < reveils_.size(); ++i) {
      const auto r = reveils_[i].lock();
      if (r && r->sonne.exchange(false)) {
        r->tache();
        return true;
      }
    }
    return false;
  }

  HorlogeManuelle& horloge_;
  std::vector<std::weak_ptr<EtatReveil>> reveils_;
  asio::io_context contexte_{1};
  std::multimap<InstantNs, Echeance> echeances_;  // à échéance égale, l'ordre d'arrivée
};

}  // namespace ravlo::faux
