// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <vector>

#include "plateforme/navigateur_services.hpp"

namespace ravlo::faux {

/// Navigateur joué par le test : il publie des ensembles de résultats et des états, qui
/// passent par la file donnée comme ceux d'un vrai navigateur.
struct NavigateurFactice {
  std::shared_ptr<File> file;
  NavigateurServices::RappelResultats resultats;
  NavigateurServices::RappelEtat etat;
  bool annule = false;

  void publier(std::vector<ResultatService> r) {
    file->poster([this, r = std::move(r)] {
      if (!annule) resultats(r);
    });
  }
  void jouerEtat(EtatNavigateur e) {
    file->poster([this, e] {
      if (!annule) etat(e);
    });
  }
};

/// Garde chaque navigateur créé (même annulé) pour que le test les compte et les joue.
struct FabriqueNavigateursFactice final : FabriqueNavigateurs {
  [[nodiscard]] std::unique_ptr<NavigateurServices> creer(std::string_view /*type*/,
                                                          std::shared_ptr<File> file) override {
    return std::make_unique<Poignee>(crees.emplace_back(std::make_shared<NavigateurFactice>(file)));
  }
  [[nodiscard]] NavigateurFactice& dernier() { return *crees.back(); }

  std::vector<std::shared_ptr<NavigateurFactice>> crees;

 private:
  struct Poignee final : NavigateurServices {
    explicit Poignee(std::shared_ptr<NavigateurFactice> n) : n_(std::move(n)) {}
    void demarrer(RappelResultats r, RappelEtat e) override {
      n_->resultats = std::move(r);
      n_->etat = std::move(e);
    }
    void annuler() override { n_->annule = true; }
    std::shared_ptr<NavigateurFactice> n_;
  };
};

}  // namespace ravlo::faux
