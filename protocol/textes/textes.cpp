// SPDX-License-Identifier: MPL-2.0
#include "protocol/textes/textes.hpp"

#include <memory>

#include "protocol/base/verrou.hpp"

namespace ravlo {
namespace {

Verrou verrouTraducteur;
std::shared_ptr<const TraducteurTextes> traducteurDuProcessus GARDE_PAR(verrouTraducteur);

}  // namespace

void lierTraducteur(TraducteurTextes traducteur) {
  auto nouveau =
      traducteur ? std::make_shared<const TraducteurTextes>(std::move(traducteur)) : nullptr;
  Garde garde(verrouTraducteur);
  traducteurDuProcessus = std::move(nouveau);
}

std::string texte(std::string_view cle, std::string_view locale) {
  std::shared_ptr<const TraducteurTextes> traducteur;
  {
    Garde garde(verrouTraducteur);
    traducteur = traducteurDuProcessus;
  }
  return traducteur ? (*traducteur)(cle, locale) : std::string(cle);
}

std::string avecCode(std::string_view modele, std::int64_t code) {
  std::string sortie;
  bool codeMis = false;
  for (std::size_t i = 0; i < modele.size(); ++i) {
    const std::string_view reste = modele.substr(i);
    if (reste.starts_with("%%")) {
      sortie += '%';
      ++i;
    } else if (!codeMis && reste.starts_with("%lld")) {
      sortie += std::to_string(code);
      codeMis = true;
      i += 3;
    } else {
      sortie += modele[i];
    }
  }
  return sortie;
}

}  // namespace ravlo
