// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/message_passkey.hpp"

#include <algorithm>
#include <optional>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {
namespace {

Octets copie(VueOctets v) {
  return Octets(v.begin(), v.end());
}

using M = MessagePasskey;

std::optional<M::Contenu> lireDebut(VueOctets charge) {
  if (charge.size() < M::tailleCle + 1) return std::nullopt;
  const std::size_t l = charge[M::tailleCle];
  const VueOctets nom = charge.subspan(M::tailleCle + 1);
  if (nom.size() != l || l > nomOctetsMax || !estUtf8Strict(nom)) return std::nullopt;
  return M::Debut{copie(charge.first(M::tailleCle)), std::string(nom.begin(), nom.end())};
}

/// `rang` (≤ 13) suivi d'exactement `taille` octets.
std::optional<std::pair<std::uint8_t, Octets>> lireRang(VueOctets charge, std::size_t taille) {
  if (charge.size() != 1 + taille || charge[0] > M::rangMax) return std::nullopt;
  return std::pair{charge[0], copie(charge.subspan(1))};
}

std::optional<M::Contenu> lireCharge(std::uint8_t code, VueOctets charge) {
  switch (code) {
    case 0:
      return lireDebut(charge);
    case 1:
      if (charge.size() != M::tailleCle) return std::nullopt;
      return M::Cle{copie(charge)};
    case 2:
      if (auto r = lireRang(charge, M::tailleValeur)) {
        return M::Engagement{r->first, std::move(r->second)};
      }
      return std::nullopt;
    case 3:
      if (auto r = lireRang(charge, M::tailleNonce)) {
        return M::Devoilement{r->first, std::move(r->second)};
      }
      return std::nullopt;
    case 4:
      if (charge.size() != M::tailleValeur) return std::nullopt;
      return M::Confirmation{copie(charge)};
    case 5:
      if (!charge.empty()) return std::nullopt;
      return M::Refus{};
    default:
      return std::nullopt;
  }
}

/// Écrit la charge de chaque cas à la suite de l'en-tête.
struct EcrireCharge {
  EcrivainOctets& sortie;
  void operator()(const M::Debut& d) const {
    sortie.ecrire(VueOctets(d.cle)).ecrire(static_cast<std::uint8_t>(d.nomOrdinateur.size()));
    sortie.ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>(d.nomOrdinateur.data()),
                            d.nomOrdinateur.size()));
  }
  void operator()(const M::Cle& c) const { sortie.ecrire(VueOctets(c.cle)); }
  void operator()(const M::Engagement& e) const {
    sortie.ecrire(e.rang).ecrire(VueOctets(e.valeur));
  }
  void operator()(const M::Devoilement& d) const {
    sortie.ecrire(d.rang).ecrire(VueOctets(d.nonce));
  }
  void operator()(const M::Confirmation& c) const { sortie.ecrire(VueOctets(c.valeur)); }
  void operator()(const M::Refus&) const {}
};

}  // namespace

std::optional<MessagePasskey::EnTete> MessagePasskey::lireEnTete(VueOctets donnees) {
  if (donnees.size() < tailleEnTete) return std::nullopt;
  if (!std::equal(signature.begin(), signature.end(), donnees.begin())) return std::nullopt;
  if (donnees[2] != version) return std::nullopt;
  return EnTete{donnees[3], lirePetitBoutiste<std::uint64_t>(donnees.data() + 4)};
}

void MessagePasskey::ecrireEnTete(EcrivainOctets& sortie, EnTete enTete) {
  sortie.ecrire(VueOctets(signature)).ecrire(version).ecrire(enTete.cas).ecrire(enTete.tentative);
}

std::expected<MessagePasskey, ErreurPasskey> MessagePasskey::decoder(VueOctets donnees) {
  const auto invalide = std::unexpected(ErreurPasskey::formatInvalide);
  const auto enTete = lireEnTete(donnees);
  if (!enTete) return invalide;
  std::optional<Contenu> contenu = lireCharge(enTete->cas, donnees.subspan(tailleEnTete));
  if (!contenu) return invalide;
  return MessagePasskey(enTete->tentative, std::move(*contenu));
}

Octets MessagePasskey::donnees() const {
  EcrivainOctets sortie(tailleEnTete + tailleCle + 1 + nomOctetsMax);
  ecrireEnTete(sortie, {static_cast<std::uint8_t>(contenu_.index()), tentative_});
  std::visit(EcrireCharge{sortie}, contenu_);
  return std::move(sortie).terminer();
}

}  // namespace ravlo
