// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

#include "link/diffusion/emetteur_audio.hpp"

namespace ravlo::simulation {

/// Le temps vrai d'une simulation (ns depuis le départ) : des actions à leur heure, dans
/// l'ordre ; à heure égale, dans l'ordre où elles ont été prévues.
class TempsSimule {
 public:
  using Action = std::function<void(std::int64_t)>;

  void planifier(std::int64_t t, Action action) {
    file_.push(Evenement{t, ordre_++, std::move(action)});
  }
  [[nodiscard]] std::int64_t maintenant() const { return maintenant_; }
  /// Tout ce qui tombe avant `fin`, y compris ce que les actions prévoient.
  void derouler(std::int64_t fin) {
    while (!file_.empty() && file_.top().t < fin) {
      auto e = file_.top();
      file_.pop();
      maintenant_ = e.t;
      e.action(e.t);
    }
  }

 private:
  struct Evenement {
    std::int64_t t = 0;
    std::uint64_t ordre = 0;
    Action action;
    bool operator>(const Evenement& autre) const {
      return t != autre.t ? t > autre.t : ordre > autre.ordre;
    }
  };

  std::priority_queue<Evenement, std::vector<Evenement>, std::greater<>> file_;
  std::uint64_t ordre_ = 0;
  std::int64_t maintenant_ = 0;
};

/// Le vrai émetteur du programme (`EmetteurAudio` : ses voies, une par liaison, et l'accord
/// du groupe) en temps simulé, sur une file, une horloge et des connexions qui suivent
/// `TempsSimule` : la simulation écrit le son capté dans son anneau, livre à une voie ce que
/// son récepteur envoie, et reçoit par `sortie` ce que chaque voie envoie, à l'heure où elle
/// l'envoie. Son horloge compte le temps vrai depuis `origine`.
class EmetteurSimule {
 public:
  using Sortie = std::function<void(std::size_t voie, Octets datagramme)>;

  EmetteurSimule(TempsSimule& temps, InstantNs origine, const std::vector<Liaison>& liaisons,
                 Sortie sortie)
      : horloge_(temps, origine),
        file_(std::make_shared<FileSimulee>(temps)),
        fabrique_(std::make_shared<FabriqueSimulee>(std::move(sortie))) {
    emetteur_ = EmetteurAudio::creer(
        tampon_, point(0), liaisons[0], [] {}, [] {}, {file_, fabrique_, &horloge_});
    for (std::size_t v = 1; v < liaisons.size(); ++v)
      emetteur_->ajouterVoie(point(v), liaisons[v], [] {}, [] {});
    emetteur_->demarrer();
  }
  EmetteurSimule(const EmetteurSimule&) = delete;
  EmetteurSimule& operator=(const EmetteurSimule&) = delete;

  /// Un paquet de son capté à `capture`, comme l'écrit la capture : l'anneau réveille
  /// l'émetteur, qui l'envoie aussitôt.
  void capter(VueOctets pcm, InstantNs capture) { tampon_->ecrire(pcm, capture); }
  void livrer(std::size_t voie, Octets datagramme) {
    fabrique_->connexions.at(voie)->livrer(std::move(datagramme));
  }

 private:
  static PointReseau point(std::size_t voie) {
    return {"simulé", static_cast<std::uint16_t>(voie)};
  }

  class HorlogeSimulee final : public Horloge {
   public:
    HorlogeSimulee(const TempsSimule& temps, InstantNs origine)
        : temps_(temps), origine_(origine) {}
    [[nodiscard]] InstantNs hoteNs() const override {
      return origine_ + static_cast<InstantNs>(temps_.maintenant());
    }
    [[nodiscard]] InstantNs continueNs() const override { return hoteNs(); }

   private:
    const TempsSimule& temps_;
    InstantNs origine_;
  };

  class FileSimulee final : public File {
   public:
    explicit FileSimulee(TempsSimule& temps) : temps_(temps) {}
    void poster(Tache tache) override { posterApres({}, std::move(tache)); }
    void posterApres(std::chrono::nanoseconds delai, Tache tache) override {
      temps_.planifier(temps_.maintenant() + delai.count(),
                       [tache = std::move(tache)](std::int64_t) { tache(); });
    }
    [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                     std::chrono::nanoseconds,
                                                     Tache tache) override {
      auto m = std::make_unique<Repetee>();
      tirer(temps_.maintenant(), intervalle.count(), std::move(tache), m->annulee);
      return m;
    }
    [[nodiscard]] asio::io_context& contexte() override { return contexte_; }
    [[nodiscard]] std::unique_ptr<Reveil> reveil(Tache tache) override {
      return std::make_unique<ReveilSimule>(*this, std::move(tache));
    }

   private:
    struct Repetee final : Minuterie {
      std::shared_ptr<bool> annulee = std::make_shared<bool>(false);
      ~Repetee() override { annuler(); }
      void annuler() override { *annulee = true; }
    };
    // Plusieurs sonneries avant le réveil n'en font qu'une.
    struct ReveilSimule final : Reveil {
      ReveilSimule(FileSimulee& file, Tache tache)
          : file_(file), tache_(std::make_shared<Tache>(std::move(tache))) {}
      void sonner() override {
        if (std::exchange(*sonne_, true)) return;
        file_.poster([sonne = sonne_, tache = std::weak_ptr(tache_)] {
          *sonne = false;
          if (const auto t = tache.lock()) (*t)();
        });
      }
      FileSimulee& file_;
      std::shared_ptr<Tache> tache_;
      std::shared_ptr<bool> sonne_ = std::make_shared<bool>(false);
    };

    void tirer(std::int64_t t, std::int64_t intervalle, Tache tache,
               std::shared_ptr<bool> annulee) {
      temps_.planifier(t, [this, intervalle, tache = std::move(tache),
                           annulee = std::move(annulee)](std::int64_t maintenant) {
        if (*annulee) return;
        tache();
        tirer(maintenant + intervalle, intervalle, tache, annulee);
      });
    }

    TempsSimule& temps_;
    asio::io_context contexte_{1};
  };

  /// Toujours prête ; ce qu'elle reçoit attend que sa voie réarme sa réception.
  class ConnexionSimulee final : public ConnexionDatagramme {
   public:
    ConnexionSimulee(File& file, std::function<void(Octets)> sortie)
        : file_(file), sortie_(std::move(sortie)) {}
    void surEtat(RappelEtat rappel) override { rappelEtat_ = std::move(rappel); }
    void demarrer() override {
      etat_ = {EtatConnexion::Cas::prete, std::nullopt};
      if (rappelEtat_) rappelEtat_(etat_);
    }
    void recevoir(RappelReception rappel) override {
      reception_ = std::move(rappel);
      servir();
    }
    void envoyer(Octets datagramme) override { sortie_(std::move(datagramme)); }
    void envoyer(Octets datagramme, Tache traite) override {
      sortie_(std::move(datagramme));
      file_.poster(std::move(traite));
    }
    void envoyerSurLaFile(VueOctets datagramme) override {
      sortie_(Octets(datagramme.begin(), datagramme.end()));
    }
    // La réception armée tient la connexion : la lâcher défait le cycle.
    void annuler() override {
      etat_ = {EtatConnexion::Cas::annulee, std::nullopt};
      reception_ = nullptr;
    }
    [[nodiscard]] EtatConnexion etat() const override { return etat_; }

    void livrer(Octets datagramme) {
      arrives_.push_back(std::move(datagramme));
      servir();
    }

   private:
    void servir() {
      if (!reception_ || arrives_.empty() || etat_.cas != EtatConnexion::Cas::prete) return;
      file_.poster([r = std::exchange(reception_, nullptr), d = std::move(arrives_.front())] {
        r(d, std::nullopt);
      });
      arrives_.pop_front();
    }

    File& file_;
    std::function<void(Octets)> sortie_;
    RappelEtat rappelEtat_;
    RappelReception reception_;
    std::deque<Octets> arrives_;
    EtatConnexion etat_;
  };

  struct FabriqueSimulee final : FabriqueConnexions {
    explicit FabriqueSimulee(Sortie sortie) : sortie_(std::move(sortie)) {}
    [[nodiscard]] std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& p,
                                                             File& file) override {
      const std::size_t voie = p.port;
      if (connexions.size() <= voie) connexions.resize(voie + 1);
      return connexions[voie] = std::make_shared<ConnexionSimulee>(
                 file, [this, voie](Octets d) { sortie_(voie, std::move(d)); });
    }
    Sortie sortie_;
    std::vector<std::shared_ptr<ConnexionSimulee>> connexions;
  };

  HorlogeSimulee horloge_;
  std::shared_ptr<FileSimulee> file_;
  std::shared_ptr<FabriqueSimulee> fabrique_;
  std::shared_ptr<TamponAudio> tampon_ = std::make_shared<TamponAudio>(64 * 1280);
  std::shared_ptr<EmetteurAudio> emetteur_;
};

}  // namespace ravlo::simulation
