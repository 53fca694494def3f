// SPDX-License-Identifier: MPL-2.0
#include "recepteur/tri_entree.hpp"

#include <algorithm>
#include <variant>

#include "protocol/appairage/demande_code.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/reprise/message_reprise.hpp"
#include "protocol/scellement/enveloppe.hpp"

namespace ravlo {

namespace {

using M = MessagePasskey;
constexpr std::size_t appairageMax = M::tailleEnTete + M::tailleCle + 1 + nomOctetsMax;
constexpr std::size_t scellement = Enveloppe::tailleEnTete + Enveloppe::tailleEtiquette;
constexpr std::size_t audioMin =
    scellement + PaquetAudio::tailleEnTete + PaquetAudio::octetsParTrame;
constexpr std::size_t audioMax =
    scellement + PaquetAudio::tailleEnTete + PaquetAudio::octetsParTrame * PaquetAudio::tramesMax;
// Le dernier cas (refus) : l'octet 3 d'un message d'appairage ne va pas au-delà.
constexpr std::uint8_t casMax = std::variant_size_v<M::Contenu> - 1;
using R = MessageReprise;
constexpr std::uint8_t casRepriseMax = R::premierCas + std::variant_size_v<R::Contenu> - 1;
constexpr std::size_t repriseMax =
    R::tailleEnTete + sizeof(IdentifiantPaire) + R::tailleCle + R::tailleTag;

}  // namespace

FormeDatagramme formeDe(VueOctets d) {
  if (DemandeCode::est(d)) return FormeDatagramme::demandeCode;
  if (const auto enTete = M::lireEnTete(d);
      enTete && d.size() <= appairageMax && enTete->cas <= casMax)
    return FormeDatagramme::appairage;
  if (const auto enTete = M::lireEnTete(d); enTete && d.size() <= repriseMax &&
                                            enTete->cas >= R::premierCas &&
                                            enTete->cas <= casRepriseMax)
    return FormeDatagramme::reprise;
  const auto sorte = Enveloppe::sorteLue(d);
  if (!sorte) return FormeDatagramme::autre;
  if (*sorte == SorteEnveloppe::audio && (d.size() < audioMin || d.size() > audioMax))
    return FormeDatagramme::autre;
  return FormeDatagramme::enveloppe;
}

bool QuotaEtrangers::prendre(const PointReseau& source, InstantNs maintenant) {
  for (std::size_t i = 0; i < nombre_; ++i) {
    const Suspecte& s = suspectes_[i];
    if (s.source == source &&
        ecartSigneNs(maintenant, s.depuis) < static_cast<std::int64_t>(mefianceNs))
      return false;
  }
  const std::int64_t ecoule = date_ ? ecartSigneNs(maintenant, dernier_) : 0;
  if (!date_ || ecoule > 0) dernier_ = maintenant;
  date_ = true;
  if (ecoule > 0)
    creditNs_ = std::min(avance * intervalleNs, creditNs_ + static_cast<std::uint64_t>(ecoule));
  if (creditNs_ < intervalleNs) return false;
  creditNs_ -= intervalleNs;
  return true;
}

void QuotaEtrangers::refusee(const PointReseau& source, InstantNs maintenant) {
  for (std::size_t i = 0; i < nombre_; ++i) {
    if (suspectes_[i].source == source) {
      suspectes_[i].depuis = maintenant;
      return;
    }
  }
  suspectes_[prochaine_] = {source, maintenant};
  prochaine_ = (prochaine_ + 1) % suspectesMax;
  nombre_ = std::min(nombre_ + 1, suspectesMax);
}

}  // namespace ravlo
