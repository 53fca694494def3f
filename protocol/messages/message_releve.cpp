// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/message_releve.hpp"

#include <algorithm>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/base/ecrivain_octets.hpp"

namespace ravlo {

std::expected<MessageReleve, ErreurReleve> MessageReleve::lire(VueOctets donnees) {
  using Cas = CasErreurReleve;
  if (donnees.size() < tailleEnTete) return std::unexpected(ErreurReleve{Cas::tropCourt});
  if (!std::equal(signature.begin(), signature.end(), donnees.begin()))
    return std::unexpected(ErreurReleve{Cas::signatureInvalide});
  if (donnees[2] != version) return std::unexpected(ErreurReleve{Cas::versionInconnue, donnees[2]});
  const std::uint8_t longueur = donnees[3];
  if (longueur > nomOctetsMax) return std::unexpected(ErreurReleve{Cas::nomTropLong, longueur});
  if (donnees.size() != tailleEnTete + longueur)
    return std::unexpected(ErreurReleve{Cas::tailleInvalide, longueur});
  const VueOctets octets = donnees.subspan(tailleEnTete);
  if (!estUtf8Strict(octets)) return std::unexpected(ErreurReleve{Cas::nomInvalide});
  std::string nom(octets.begin(), octets.end());
  // Un nom que l'encodeur n'aurait pas écrit tel quel : un caractère de contrôle ou de format.
  if (nomAffichable(nom) != nom) return std::unexpected(ErreurReleve{Cas::nomInvalide});
  return MessageReleve{std::move(nom)};
}

Octets MessageReleve::encoder() const {
  const std::string montrable = nomAffichable(nom);
  EcrivainOctets sortie(tailleEnTete + montrable.size());
  sortie.ecrire(VueOctets(signature))
      .ecrire(version)
      .ecrire(static_cast<std::uint8_t>(montrable.size()))
      .ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>(montrable.data()), montrable.size()));
  return std::move(sortie).terminer();
}

}  // namespace ravlo
