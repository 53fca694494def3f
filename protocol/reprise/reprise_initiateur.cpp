// SPDX-License-Identifier: MPL-2.0
#include "protocol/reprise/reprise_initiateur.hpp"

namespace ravlo {
namespace {

std::uint64_t tirerTentativeReprise(SourceDeHasard& hasard) {
  std::uint64_t t = 0;
  for (std::uint8_t octet : tirer(hasard, 8)) t = (t << 8) | octet;
  return t;
}

}  // namespace

RepriseInitiateur::RepriseInitiateur(const SecretPaire& paire,
                                     const std::shared_ptr<SourceDeHasard>& hasard)
    : tentative_(tirerTentativeReprise(*hasard)),
      ephemere_(ClePriveeX25519::tirer(*hasard)),
      noise_(prologueReprise(tentative_, paire.identifiant)),
      dernierMessage_(tentative_,
                      MessageReprise::Ouverture{paire.identifiant,
                                                ecrireOuverture(noise_, paire.psk, *ephemere_)}) {}

std::optional<MessageReprise> RepriseInitiateur::recevoir(const MessageReprise& m) {
  if (dernierRecu_ && *dernierRecu_ == m) return dernierMessage_;
  if (m.tentative() != tentative_ || !std::holds_alternative<EnCours>(etat_)) return std::nullopt;
  if (m.comme<MessageReprise::Refus>()) {
    etat_ = Echoue{true};
    ephemere_.reset();
    return std::nullopt;
  }
  const auto* reponse = m.comme<MessageReprise::Reponse>();
  if (!reponse || !ephemere_) return std::nullopt;
  const bool lue = lireReponse(noise_, *ephemere_, reponse->poignee);
  ephemere_.reset();
  dernierRecu_ = m;
  if (!lue) {
    etat_ = Echoue{false};
    dernierMessage_ = MessageReprise(tentative_, MessageReprise::Refus{});
    return dernierMessage_;
  }
  const EtatNoise::ClesTransport cles = noise_.scinder();
  etat_ = Reussi{liaisonInitiateur(cles)};
  dernierMessage_ = MessageReprise(tentative_, MessageReprise::Preuve{preuveInitiateur(cles)});
  return dernierMessage_;
}

}  // namespace ravlo
