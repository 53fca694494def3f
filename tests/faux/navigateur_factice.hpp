#pragma once

#include <memory>
#include <vector>

#include "link/plateforme/navigateur_services.hpp"

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
class FabriqueNavigateursFactice final : public FabriqueNavigateurs {
 public:
  [[nodiscard]] std::unique_ptr<NavigateurServices> creer(std::string_view /*type*/,
                                                          std::shared_ptr<File> file) override {
    auto n = std::make_shared<NavigateurFactice>();
    n->file = std::move(file);
    crees.push_back(n);
    return std::make_unique<Poignee>(n);
  }
  [[nodiscard]] NavigateurFactice& dernier() { return *crees.back(); }

  std::vector<std::shared_ptr<NavigateurFactice>> crees;

 private:
  class Poignee final : public NavigateurServices {
   public:
    explicit Poignee(std::shared_ptr<NavigateurFactice> n) : n_(std::move(n)) {}
    void demarrer(RappelResultats r, RappelEtat e) override {
      n_->resultats = std::move(r);
      n_->etat = std::move(e);
    }
    void annuler() override { n_->annule = true; }

   private:
    std::shared_ptr<NavigateurFactice> n_;
  };
};

}  // namespace ravlo::faux
