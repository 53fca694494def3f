// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/relais_pages.hpp"

#include "protocol/base/exiger.hpp"

namespace ravlo {

void RelaisPages::brancher(std::shared_ptr<AccueilPages> accueil) {
  Garde garde(verrou_);
  accueil_ = std::move(accueil);
}

std::shared_ptr<AccueilPages> RelaisPages::courant() const {
  Garde garde(verrou_);
  return accueil_;
}

void RelaisPages::demarrer(Executeur& file, RappelArrivee arrivee, RappelDepart depart) {
  const auto accueil = courant();
  RAVLO_EXIGER(accueil != nullptr);
  accueil->demarrer(
      file,
      [faible = weak_from_this(), arrivee = std::move(arrivee)](const PageConnectee& page) {
        const auto moi = faible.lock();
        if (!moi) return;
        {
          Garde garde(moi->verrou_);
          moi->points_.insert(enTexte(page.point));
        }
        arrivee(page);
      },
      std::move(depart));
}

std::shared_ptr<ConnexionDatagramme> RelaisPages::connexion(const PointReseau& point, File& file) {
  const auto accueil = courant();
  RAVLO_EXIGER(accueil != nullptr);
  return accueil->connexion(point, file);
}

void RelaisPages::garder(const PointReseau& point) {
  if (const auto accueil = courant()) accueil->garder(point);
}

void RelaisPages::arreter() {
  if (const auto accueil = courant()) accueil->arreter();
}

bool RelaisPages::estPage(const PointReseau& point) const {
  Garde garde(verrou_);
  return points_.contains(enTexte(point));
}

std::shared_ptr<FabriqueConnexions> RelaisPages::fabrique(
    const std::shared_ptr<RelaisPages>& relais, std::shared_ptr<FabriqueConnexions> autres) {
  return std::make_shared<FabriqueConnexionsPages>(
      relais, std::move(autres),
      [relais = relais.get()](const PointReseau& point) { return relais->estPage(point); });
}

}  // namespace ravlo
