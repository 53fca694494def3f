// SPDX-License-Identifier: MPL-2.0
#include "link/app/ecoute_telephone.hpp"

#include "protocol/base/exiger.hpp"

namespace ravlo {

std::shared_ptr<EcouteTelephone> EcouteTelephone::creer(Dependances dependances,
                                                        std::shared_ptr<ChercheurRavlo> chercheur) {
  return std::shared_ptr<EcouteTelephone>(
      new EcouteTelephone(std::move(dependances), std::move(chercheur)));
}

EcouteTelephone::EcouteTelephone(Dependances dependances, std::shared_ptr<ChercheurRavlo> chercheur)
    : dep_(std::move(dependances)), chercheur_(std::move(chercheur)) {
  RAVLO_EXIGER(!dep_.ouvrir || (dep_.principal && dep_.relais && dep_.reglages));
}

EcouteTelephone::~EcouteTelephone() {
  if (active_) dep_.relais->arreter();
}

std::uint16_t EcouteTelephone::portRetenu() const {
  const auto octets = dep_.reglages->lireOctets(clePort);
  if (!octets || octets->size() != 2) return 0;
  return static_cast<std::uint16_t>((*octets)[0] | ((*octets)[1] << 8));
}

void EcouteTelephone::activer() {
  if (active_ || !offerte()) return;
  const std::uint16_t retenu = portRetenu();
  auto ouvert = dep_.ouvrir(retenu);
  if (!ouvert && retenu != 0) ouvert = dep_.ouvrir(0);
  if (!ouvert) {
    changer(erreur_, std::optional<ErreurReseau>(ouvert.error()));
    return;
  }
  if (ouvert->port != retenu) {
    dep_.reglages->ecrireOctets(clePort, Octets{static_cast<std::uint8_t>(ouvert->port & 0xFF),
                                                static_cast<std::uint8_t>(ouvert->port >> 8)});
  }
  dep_.relais->brancher(ouvert->accueil);
  std::weak_ptr<ChercheurRavlo> chercheur = chercheur_;
  dep_.relais->demarrer(
      *dep_.principal,
      [chercheur](const PageConnectee& page) {
        if (const auto c = chercheur.lock()) c->ajouterPage(page);
      },
      [chercheur](const PointReseau& point) {
        if (const auto c = chercheur.lock()) c->retirerPage(point);
      });
  erreur_.reset();
  port_ = ouvert->port;
  active_ = true;
  adresses_ = dep_.adresses ? dep_.adresses(port_) : std::vector<std::string>{};
  prevenir();
}

void EcouteTelephone::desactiver() {
  if (!active_) return;
  dep_.relais->arreter();
  active_ = false;
  adresses_.clear();
  chercheur_->retirerPages();
  prevenir();
}

void EcouteTelephone::relireAdresses() {
  if (active_ && dep_.adresses) changer(adresses_, dep_.adresses(port_));
}

}  // namespace ravlo
