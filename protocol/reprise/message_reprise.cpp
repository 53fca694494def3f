// SPDX-License-Identifier: MPL-2.0
#include "protocol/reprise/message_reprise.hpp"

#include <algorithm>
#include <optional>

#include "protocol/base/ecrivain_octets.hpp"

namespace ravlo {
namespace {

using M = MessageReprise;

template <std::size_t N>
std::array<std::uint8_t, N> tableau(VueOctets v) {
  std::array<std::uint8_t, N> a{};
  std::copy_n(v.begin(), N, a.begin());
  return a;
}

std::optional<M::Contenu> lireCharge(std::uint8_t cas, VueOctets charge) {
  constexpr std::size_t poignee = std::tuple_size_v<M::Poignee>;
  constexpr std::size_t identifiant = std::tuple_size_v<IdentifiantPaire>;
  switch (cas) {
    case M::premierCas:
      if (charge.size() != identifiant + poignee) return std::nullopt;
      return M::Ouverture{tableau<identifiant>(charge),
                          tableau<poignee>(charge.subspan(identifiant))};
    case M::premierCas + 1:
      if (charge.size() != poignee) return std::nullopt;
      return M::Reponse{tableau<poignee>(charge)};
    case M::premierCas + 2:
      if (charge.size() != M::tailleTag) return std::nullopt;
      return M::Preuve{tableau<M::tailleTag>(charge)};
    case M::premierCas + 3:
      if (!charge.empty()) return std::nullopt;
      return M::Refus{};
    default:
      return std::nullopt;
  }
}

struct EcrireCharge {
  EcrivainOctets& sortie;
  void operator()(const M::Ouverture& o) const {
    sortie.ecrire(VueOctets(o.identifiant)).ecrire(VueOctets(o.poignee));
  }
  void operator()(const M::Reponse& r) const { sortie.ecrire(VueOctets(r.poignee)); }
  void operator()(const M::Preuve& p) const { sortie.ecrire(VueOctets(p.tag)); }
  void operator()(const M::Refus&) const {}
};

}  // namespace

std::expected<MessageReprise, ErreurReprise> MessageReprise::decoder(VueOctets donnees) {
  const auto invalide = std::unexpected(ErreurReprise::formatInvalide);
  const auto enTete = MessagePasskey::lireEnTete(donnees);
  if (!enTete) return invalide;
  std::optional<Contenu> contenu = lireCharge(enTete->cas, donnees.subspan(tailleEnTete));
  if (!contenu) return invalide;
  return MessageReprise(enTete->tentative, *contenu);
}

Octets MessageReprise::donnees() const {
  EcrivainOctets sortie(tailleEnTete + sizeof(Ouverture));
  MessagePasskey::ecrireEnTete(
      sortie, {static_cast<std::uint8_t>(premierCas + contenu_.index()), tentative_});
  std::visit(EcrireCharge{sortie}, contenu_);
  return std::move(sortie).terminer();
}

}  // namespace ravlo
