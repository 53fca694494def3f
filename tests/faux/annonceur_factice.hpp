#pragma once

#include <vector>

#include "link/plateforme/annonceur_services.hpp"

namespace ravlo::test {

/// Un annonceur qui joue ses états scriptés d'un coup, dans `annoncer` même (avant son
/// retour), et note ce qu'on lui a demandé.
class AnnonceurFactice final : public AnnonceurServices {
 public:
  explicit AnnonceurFactice(std::vector<EtatAnnonce> script) : script_(std::move(script)) {}

  void annoncer(const std::string& nom, const std::string& type, std::uint16_t port,
                RappelEtat etat) override {
    demandes.push_back({nom, type, port});
    for (const auto& e : script_) etat(e);
  }
  void retirer() override { ++retraits; }

  struct Demande {
    std::string nom;
    std::string type;
    std::uint16_t port;
  };
  std::vector<Demande> demandes;
  int retraits = 0;

 private:
  std::vector<EtatAnnonce> script_;
};

}  // namespace ravlo::test
