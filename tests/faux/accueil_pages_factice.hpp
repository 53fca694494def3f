// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "faux/connexion_factice.hpp"
#include "plateforme/accueil_pages.hpp"

namespace ravlo::faux {

/// Accueil joué par le test : il fait arriver et partir des pages (par la file donnée à
/// `demarrer`, comme le vrai), rend pour chacune une connexion factice prête et note ce
/// qu'on lui demande. Comme le vrai, une page qui part ferme ses connexions (`fermee`), et
/// une connexion vers une page partie naît fermée.
struct AccueilPagesFactice final : AccueilPages {
  void demarrer(Executeur& f, RappelArrivee a, RappelDepart d) override {
    file = &f;
    arrivee = std::move(a);
    depart = std::move(d);
  }
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> connexion(const PointReseau& point,
                                                               File& f) override {
    demandees.push_back(point);
    const bool partie = std::ranges::find(parties, point) != parties.end();
    return connexions.emplace_back(std::make_shared<ConnexionFactice>(
        f, std::vector<EtatConnexion>{
               partie ? fermee : EtatConnexion{EtatConnexion::Cas::prete, std::nullopt}}));
  }
  void garder(const PointReseau& point) override { gardees.push_back(point); }
  void arreter() override { arretee = true; }

  void arriver(PageConnectee page) {
    file->poster([this, page = std::move(page)] {
      if (!arretee) arrivee(page);
    });
  }
  void partir(PointReseau point) {
    parties.push_back(point);
    for (std::size_t i = 0; i < connexions.size(); ++i)
      if (demandees[i] == point) connexions[i]->jouerEtat(fermee);
    file->poster([this, point = std::move(point)] {
      if (!arretee) depart(point);
    });
  }

  Executeur* file = nullptr;
  RappelArrivee arrivee;
  RappelDepart depart;
  std::vector<PointReseau> demandees;
  std::vector<PointReseau> gardees;
  std::vector<PointReseau> parties;
  std::vector<std::shared_ptr<ConnexionFactice>> connexions;
  bool arretee = false;
  const EtatConnexion fermee{EtatConnexion::Cas::fermee,
                             ErreurReseau{DomaineErreurReseau::posix, ECONNRESET}};
};

}  // namespace ravlo::faux
