// SPDX-License-Identifier: MPL-2.0
#include "navigateur/noyau/souvenir_page.hpp"

#include <sodium.h>

#include <algorithm>
#include <ranges>
#include <vector>

#include "protocol/appairage/texte_unicode.hpp"

namespace ravlo {
namespace {

constexpr std::size_t tailleEntete = 1 + std::tuple_size_v<IdentifiantRecepteur>;

// Les `garder` venus le plus récemment, dans leur ordre.
CarnetExpediteurs borner(const CarnetExpediteurs& carnet, std::size_t garder) {
  std::vector<ExpediteurMemorise> tous(carnet.expediteurs().begin(), carnet.expediteurs().end());
  if (tous.size() <= garder) return carnet;
  std::ranges::stable_sort(tous, std::ranges::greater{}, &ExpediteurMemorise::dernierUsageS);
  tous.resize(garder);
  CarnetExpediteurs borne;
  for (auto& e : tous | std::views::reverse) borne.retenir(e.paire, e.nom, e.dernierUsageS);
  return borne;
}

}  // namespace

std::optional<SouvenirPage> SouvenirPage::lire(VueOctets octets) {
  if (octets.size() <= tailleEntete || octets[0] != version) return std::nullopt;
  IdentifiantRecepteur id{};
  std::copy_n(octets.begin() + 1, id.size(), id.begin());
  auto carnet = CarnetExpediteurs::lire(octets.subspan(tailleEntete));
  if (!carnet || carnet->expediteurs().empty()) return std::nullopt;
  SouvenirPage souvenir(id);
  souvenir.carnet_ = borner(*carnet, expediteursMax);
  return souvenir;
}

Octets SouvenirPage::ecrire() const {
  if (vide()) return {};
  Octets carnet = carnet_.ecrire();
  Octets o;
  o.reserve(tailleEntete + carnet.size());
  o.push_back(version);
  o.insert(o.end(), identifiant_.begin(), identifiant_.end());
  o.insert(o.end(), carnet.begin(), carnet.end());
  sodium_memzero(carnet.data(), carnet.size());
  return o;
}

std::optional<MemoireExpediteurs::Paire> SouvenirPage::chercher(const IdentifiantPaire& id) {
  const ExpediteurMemorise* e = carnet_.chercher(id);
  if (e == nullptr) return std::nullopt;
  return Paire{e->paire, e->nom};
}

void SouvenirPage::retenir(const SecretPaire& secret, const std::string& nom) {
  (void)carnet_.oublier(nomAffichable(nom));
  carnet_.retenir(secret, nom, suivant());
  carnet_ = borner(carnet_, expediteursMax);
}

void SouvenirPage::noterVenue(const IdentifiantPaire& id) {
  (void)carnet_.noterVenue(id, suivant());
}

std::int64_t SouvenirPage::suivant() const {
  std::int64_t plus = 0;
  for (const auto& e : carnet_.expediteurs()) plus = std::max(plus, e.dernierUsageS);
  return plus + 1;
}

}  // namespace ravlo
