// SPDX-License-Identifier: MPL-2.0
#include "protocol/reprise/reprise_repondeur.hpp"

#include "protocol/crypto/hmac_sha256.hpp"

namespace ravlo {

RepriseRepondeur::RepriseRepondeur(Recherche rechercher, std::shared_ptr<SourceDeHasard> hasard)
    : rechercher_(std::move(rechercher)), hasard_(std::move(hasard)) {}

std::optional<MessageReprise> RepriseRepondeur::recevoir(const MessageReprise& m) {
  if (dernierRecu_ && *dernierRecu_ == m) return derniereReponse_;
  if (std::holds_alternative<Attente>(etat_)) {
    if (const auto* o = m.comme<MessageReprise::Ouverture>()) return recevoirOuverture(m, *o);
    return std::nullopt;
  }
  if (!std::holds_alternative<EnCours>(etat_) || m.tentative() != tentative_) return std::nullopt;
  if (m.comme<MessageReprise::Refus>()) {
    etat_ = Echoue{EchecReprise::refusRecu};
    cles_.reset();
    return std::nullopt;
  }
  const auto* preuve = m.comme<MessageReprise::Preuve>();
  if (!preuve || !cles_) return std::nullopt;
  if (!macConcorde(preuveInitiateur(*cles_), preuve->tag)) {
    return echouer(m, EchecReprise::preuveFausse);
  }
  etat_ = Reussi{liaisonRepondeur(*cles_), identifiant_};
  cles_.reset();
  return repondre(m, std::nullopt);
}

std::optional<MessageReprise> RepriseRepondeur::recevoirOuverture(
    const MessageReprise& m, const MessageReprise::Ouverture& o) {
  // Tirée d'abord : le nombre de tirages ne dépend pas de ce que le pair a envoyé.
  const ClePriveeX25519 ephemere = ClePriveeX25519::tirer(*hasard_);
  tentative_ = m.tentative();
  identifiant_ = o.identifiant;
  const std::optional<SecretPaire> paire = rechercher_(o.identifiant);
  if (!paire || paire->identifiant != o.identifiant) return echouer(m, EchecReprise::inconnue);
  EtatNoise noise(prologueReprise(tentative_, o.identifiant));
  const std::optional<Octets> re = lireOuverture(noise, paire->psk, o.poignee);
  if (!re) return echouer(m, EchecReprise::secretFaux);
  const std::optional<MessageReprise::Poignee> reponse = ecrireReponse(noise, ephemere, *re);
  if (!reponse) return echouer(m, EchecReprise::cleInvalide);
  cles_ = noise.scinder();
  etat_ = EnCours{};
  return repondre(m, MessageReprise(tentative_, MessageReprise::Reponse{*reponse}));
}

std::optional<MessageReprise> RepriseRepondeur::echouer(const MessageReprise& m,
                                                        EchecReprise raison) {
  etat_ = Echoue{raison};
  cles_.reset();
  return repondre(m, MessageReprise(m.tentative(), MessageReprise::Refus{}));
}

std::optional<MessageReprise> RepriseRepondeur::repondre(const MessageReprise& m,
                                                         std::optional<MessageReprise> reponse) {
  dernierRecu_ = m;
  derniereReponse_ = reponse;
  return derniereReponse_;
}

}  // namespace ravlo
