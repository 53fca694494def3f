// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "plateforme/annonceur_services.hpp"
#include "plateforme/sortie_audio.hpp"

// Les faux du service récepteur : sa sortie de son et son annonceur.
namespace ravlo::faux {

/// Une sortie aussi rude qu'un serveur de son : un premier rendu dans `demarrer` même, avant
/// le retour, puis des blocs de tailles changeantes (1 à 2048 trames), avec ou sans heure,
/// sur un fil à elle. Son coupé, panne et refus de démarrer (serveur absent) se règlent
/// depuis le test ; arrêtée, elle redémarre.
class SortieFactice final : public SortieAudio {
 public:
  ~SortieFactice() override { arreter(); }

  std::optional<ErreurSortie> demarrer(RappelRendu rappel) override {
    arreter();
    ++demarrages;
    if (const ErreurSortie* e = refus) return *e;
    enPanne = nullptr;
    arret_ = false;
    rappel_ = std::move(rappel);
    rendre(441, std::nullopt);
    fil_ = std::thread([this] {
      for (std::size_t i = 0; !arret_; ++i) {
        rendre(1 + (i * 397) % 2048, i % 3 == 0 ? std::nullopt : std::optional<InstantNs>(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    return std::nullopt;
  }
  void arreter() override {
    arret_ = true;
    if (fil_.joinable()) fil_.join();
  }
  bool sonCoupe() override {
    ++questionsSonCoupe;
    return coupe;
  }
  std::optional<ErreurSortie> panne() override {
    if (const ErreurSortie* e = enPanne) return *e;
    return std::nullopt;
  }

  std::atomic<bool> coupe{false};
  std::atomic<int> questionsSonCoupe{0};
  /// La panne de la sortie qui rend (effacée à chaque démarrage réussi).
  std::atomic<const ErreurSortie*> enPanne{nullptr};
  /// Tant qu'il est posé, `demarrer` échoue ainsi.
  std::atomic<const ErreurSortie*> refus{nullptr};
  std::atomic<int> demarrages{0};
  std::atomic<std::int64_t> rendus{0};

 private:
  void rendre(std::size_t trames, std::optional<InstantNs> heure) {
    bloc_.assign(2 * trames, 1.0F);
    rappel_(bloc_, heure, false);
    ++rendus;
  }

  RappelRendu rappel_;
  std::vector<float> bloc_;
  std::thread fil_;
  std::atomic<bool> arret_{false};
};

/// Un annonceur qui joue ses états scriptés d'un coup, dans `annoncer` même (avant son
/// retour), et note ce qu'on lui a demandé.
class AnnonceurFactice final : public AnnonceurServices {
 public:
  void annoncer(const std::string& nom, const std::string& /*type*/, std::uint16_t /*port*/,
                const std::vector<std::string>& txt, RappelEtat etat) override {
    noms.push_back(nom);
    dernierTxt = txt;
    for (const auto& e : script) etat(e);
  }
  void retirer() override { ++retraits; }

  std::vector<std::string> noms;  ///< ceux des annonces demandées
  std::vector<std::string> dernierTxt;
  int retraits = 0;
  std::vector<EtatAnnonce> script;  ///< joué à chaque annonce
};

}  // namespace ravlo::faux
