// SPDX-License-Identifier: MPL-2.0
#include "recepteur/carnet_expediteurs.hpp"

#include <algorithm>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {

void CarnetExpediteurs::retenir(const SecretPaire& paire, std::string nom,
                                std::int64_t maintenantS) {
  // Un nom venu du fil peut dépasser ce que la forme écrite garde : on le raccourcit comme
  // on le montre.
  nom = nomAffichable(nom);
  const auto connu = std::ranges::find_if(expediteurs_, [&](const ExpediteurMemorise& e) {
    return e.paire.identifiant == paire.identifiant;
  });
  if (connu != expediteurs_.end()) {
    *connu = {paire, std::move(nom), maintenantS};
    return;
  }
  if (expediteurs_.size() >= tailleMax) {
    expediteurs_.erase(
        std::ranges::min_element(expediteurs_, {}, &ExpediteurMemorise::dernierUsageS));
  }
  expediteurs_.push_back({paire, std::move(nom), maintenantS});
}

const ExpediteurMemorise* CarnetExpediteurs::chercher(const IdentifiantPaire& id) const {
  const auto e = std::ranges::find_if(
      expediteurs_, [&](const ExpediteurMemorise& x) { return x.paire.identifiant == id; });
  return e == expediteurs_.end() ? nullptr : &*e;
}

bool CarnetExpediteurs::noterVenue(const IdentifiantPaire& id, std::int64_t maintenantS) {
  auto* e = const_cast<ExpediteurMemorise*>(chercher(id));
  if (e == nullptr) return false;
  e->dernierUsageS = maintenantS;
  return true;
}

std::size_t CarnetExpediteurs::oublier(std::string_view nom) {
  return std::erase_if(expediteurs_, [&](const ExpediteurMemorise& e) { return e.nom == nom; });
}

Octets CarnetExpediteurs::ecrire() const {
  EcrivainOctets e(octetsMax);
  e.ecrire(version).ecrire(static_cast<std::uint8_t>(expediteurs_.size()));
  for (const auto& x : expediteurs_) {
    e.ecrire(VueOctets(x.paire.identifiant))
        .ecrire(VueOctets(x.paire.psk.octets()))
        .ecrire(static_cast<std::uint64_t>(x.dernierUsageS))
        .ecrire(static_cast<std::uint8_t>(x.nom.size()))
        .ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>(x.nom.data()), x.nom.size()));
  }
  return std::move(e).terminer();
}

std::expected<CarnetExpediteurs, ErreurCarnet> CarnetExpediteurs::lire(VueOctets octets) {
  LecteurOctets l(octets);
  const auto faute = [&](CasErreurCarnet cas) {
    return std::unexpected(ErreurCarnet{cas, l.position()});
  };
  const auto v = l.lire<std::uint8_t>();
  if (!v) return faute(CasErreurCarnet::tronque);
  if (*v != version) return faute(CasErreurCarnet::versionInconnue);
  const auto n = l.lire<std::uint8_t>();
  if (!n) return faute(CasErreurCarnet::tronque);
  if (*n > tailleMax) return faute(CasErreurCarnet::tropDExpediteurs);
  CarnetExpediteurs carnet;
  for (std::size_t i = 0; i < *n; ++i) {
    const auto id = l.prendre(16);
    const auto psk = l.prendre(32);
    const auto venue = l.lire<std::uint64_t>();
    const auto longueur = l.lire<std::uint8_t>();
    if (!id || !psk || !venue || !longueur) return faute(CasErreurCarnet::tronque);
    if (*longueur > nomOctetsMax) return faute(CasErreurCarnet::nomInvalide);
    const auto nom = l.prendre(*longueur);
    if (!nom) return faute(CasErreurCarnet::tronque);
    if (!estUtf8Strict(*nom)) return faute(CasErreurCarnet::nomInvalide);
    ExpediteurMemorise x;
    std::ranges::copy(*id, x.paire.identifiant.begin());
    std::ranges::copy(*psk, x.paire.psk.octets().begin());
    x.dernierUsageS = static_cast<std::int64_t>(*venue);
    x.nom.assign(reinterpret_cast<const char*>(nom->data()), nom->size());
    if (carnet.chercher(x.paire.identifiant) != nullptr)
      return faute(CasErreurCarnet::identifiantEnDouble);
    carnet.expediteurs_.push_back(std::move(x));
  }
  if (l.reste() != 0) return faute(CasErreurCarnet::octetsEnTrop);
  return carnet;
}

}  // namespace ravlo
