// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/registre_codes_grilles.hpp"

#include <sodium.h>

#include <array>
#include <chrono>
#include <vector>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/exiger.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {
namespace {

constexpr std::size_t octetsSel = 16;
constexpr std::size_t octetsCondense = 32;
constexpr std::size_t octetsEntree = octetsSel + octetsCondense + 8;

struct Entree {
  std::array<std::uint8_t, octetsSel> sel{};
  std::array<std::uint8_t, octetsCondense> condense{};
  std::int64_t date = 0;
};

std::array<std::uint8_t, octetsCondense> condenser(std::string_view chiffres,
                                                   const std::array<std::uint8_t, octetsSel>& sel) {
  std::array<std::uint8_t, octetsCondense> sortie{};
  crypto_generichash(sortie.data(), sortie.size(),
                     reinterpret_cast<const unsigned char*>(chiffres.data()), chiffres.size(),
                     sel.data(), sel.size());
  return sortie;
}

std::vector<Entree> lire(const MagasinReglages& reglages, std::int64_t maintenant) {
  std::vector<Entree> entrees;
  const auto octets = reglages.lireOctets(RegistreCodesGrilles::cle);
  if (!octets || octets->size() % octetsEntree != 0) return entrees;
  LecteurOctets lecteur(*octets);
  while (lecteur.reste() > 0) {
    Entree e;
    const auto sel = lecteur.prendre(octetsSel);
    const auto condense = lecteur.prendre(octetsCondense);
    const auto date = lecteur.lire<std::uint64_t>();
    if (!sel || !condense || !date) break;
    std::ranges::copy(*sel, e.sel.begin());
    std::ranges::copy(*condense, e.condense.begin());
    e.date = static_cast<std::int64_t>(*date);
    const std::int64_t age = maintenant - e.date;
    if (age < RegistreCodesGrilles::dureeS && age > -RegistreCodesGrilles::dureeS)
      entrees.push_back(e);
  }
  return entrees;
}

}  // namespace

RegistreCodesGrilles::RegistreCodesGrilles(std::shared_ptr<MagasinReglages> reglages,
                                           std::function<std::int64_t()> secondesMurales)
    : reglages_(std::move(reglages)), secondes_(std::move(secondesMurales)) {
  RAVLO_EXIGER(reglages_ != nullptr);
  assurerSodium();
  if (!secondes_) {
    secondes_ = [] {
      return std::chrono::duration_cast<std::chrono::seconds>(
                 std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
  }
}

bool RegistreCodesGrilles::contient(std::string_view chiffres) const {
  for (const Entree& e : lire(*reglages_, secondes_())) {
    const auto c = condenser(chiffres, e.sel);
    if (sodium_memcmp(c.data(), e.condense.data(), c.size()) == 0) return true;
  }
  return false;
}

void RegistreCodesGrilles::ajouter(std::string_view chiffres) {
  const std::int64_t maintenant = secondes_();
  std::vector<Entree> entrees = lire(*reglages_, maintenant);
  Entree neuve;
  randombytes_buf(neuve.sel.data(), neuve.sel.size());
  neuve.condense = condenser(chiffres, neuve.sel);
  neuve.date = maintenant;
  entrees.push_back(neuve);
  if (entrees.size() > entreesMax)
    entrees.erase(entrees.begin(),
                  entrees.begin() + static_cast<std::ptrdiff_t>(entrees.size() - entreesMax));
  EcrivainOctets ecrivain(entrees.size() * octetsEntree);
  for (const Entree& e : entrees)
    ecrivain.ecrire(VueOctets(e.sel))
        .ecrire(VueOctets(e.condense))
        .ecrire(static_cast<std::uint64_t>(e.date));
  const Octets octets = std::move(ecrivain).terminer();
  reglages_->ecrireOctets(cle, octets);
}

}  // namespace ravlo
