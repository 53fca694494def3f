// SPDX-License-Identifier: MPL-2.0
#include "protocol/lecture/synchro_horloges.hpp"

namespace ravlo {
namespace {

// |a − b| sans débordement : en non signé, la différence modulo 2⁶⁴ est exacte.
std::uint64_t ecartAbsolu(std::int64_t a, std::int64_t b) {
  const auto ua = static_cast<std::uint64_t>(a);
  const auto ub = static_cast<std::uint64_t>(b);
  return a >= b ? ua - ub : ub - ua;
}

}  // namespace

bool SynchroHorloges::enregistrer(const MessageHorloge& message, InstantNs receptionReponse) {
  const InstantNs t1 = message.envoiQuestion;
  const InstantNs t2 = message.receptionQuestion;
  const InstantNs t3 = message.envoiReponse;
  const InstantNs t4 = receptionReponse;
  const bool acceptable = message.sorte == MessageHorloge::Sorte::reponse && t4 >= t1 &&
                          ecartNs(t4, t1) <= allerRetourMaxNs && t3 >= t2 &&
                          ecartNs(t4, t1) >= ecartNs(t3, t2);
  if (!acceptable) {
    ++rejets_;
    return false;
  }
  const Echange nouveau{
      .decalage = ecartSigneNs(t2, t1) / 2 + ecartSigneNs(t3, t4) / 2,
      .allerRetour = ecartNs(t4, t1) - ecartNs(t3, t2),
      .reception = t4,
  };

  const Echange* meilleur = nullptr;
  for (const Echange& e : echanges_) {
    if (meilleur == nullptr || e.allerRetour < meilleur->allerRetour) meilleur = &e;
  }
  if (meilleur != nullptr &&
      ecartAbsolu(nouveau.decalage, meilleur->decalage) > sautRedemarrageNs) {
    ++redemarragesDistants_;
    echanges_.clear();
  }

  echanges_.push_back(nouveau);
  if (echanges_.size() > echangesGardes) echanges_.erase(echanges_.begin());
  return true;
}

}  // namespace ravlo
