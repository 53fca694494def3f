// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/appairage_repondeur.hpp"

#include "protocol/crypto/cle_privee_x25519.hpp"

namespace ravlo {

AppairageRepondeur::AppairageRepondeur(CodeAppairage code, std::shared_ptr<SourceDeHasard> hasard)
    : code_(std::move(code)), hasard_(std::move(hasard)) {}

std::optional<MessagePasskey> AppairageRepondeur::recevoir(const MessagePasskey& m) {
  // Avant tout autre test : la dernière réponse d'une tentative finie se répète aussi.
  if (dernierRecu_ && *dernierRecu_ == m) return derniereReponse_;
  if (std::holds_alternative<Attente>(etat_)) {
    if (const auto* debut = m.comme<MessagePasskey::Debut>()) return recevoirDebut(m, *debut);
    return std::nullopt;
  }
  if (std::holds_alternative<EnCours>(etat_) && courante_) return recevoirEnCours(*courante_, m);
  return std::nullopt;
}

std::optional<MessagePasskey> AppairageRepondeur::recevoirDebut(
    const MessagePasskey& m, const MessagePasskey::Debut& debut) {
  // Tirée avant d'examiner la clé du pair : le nombre de tirages ne dépend pas de ce qu'il a
  // envoyé.
  const ClePriveeX25519 prive = ClePriveeX25519::tirer(*hasard_);
  std::optional<SecretPartage> secret = secretPartage(prive, debut.cle);
  if (!secret) {
    etat_ = Echoue{false};
    return repondre(m, MessagePasskey::refus(m.tentative()));
  }
  courante_ = Tentative{.numero = m.tentative(),
                        .nom = debut.nomOrdinateur,
                        .cleA = debut.cle,
                        .secret = *secret,
                        .cleB = prive.publique()};
  etat_ = EnCours{};
  return repondre(m, MessagePasskey::cle(m.tentative(), prive.publique()));
}

std::optional<MessagePasskey> AppairageRepondeur::recevoirEnCours(Tentative& t,
                                                                  const MessagePasskey& m) {
  // Un `debut`, même d'un autre ordinateur, n'est pas considéré pendant une tentative.
  if (m.tentative() != t.numero) return std::nullopt;

  if (m.comme<MessagePasskey::Refus>()) {
    etat_ = Echoue{codeARenouveler(t)};
    courante_.reset();
    return std::nullopt;
  }
  if (const auto* e = m.comme<MessagePasskey::Engagement>()) {
    const auto* attente = std::get_if<AttenteEngagement>(&t.phase);
    if (!attente || attente->rang != e->rang) return std::nullopt;
    const std::uint8_t r = e->rang;
    Octets nonce = tirer(*hasard_, MessagePasskey::tailleNonce);
    const Empreinte v = valeurEngagement(roleRepondeur, t.cleA, t.cleB, code_.bit(r), nonce);
    t.engagementsA.push_back(e->valeur);
    t.noncesB.push_back(std::move(nonce));
    t.phase = AttenteDevoilement{r};
    return repondre(m, MessagePasskey::engagement(t.numero, r, enOctets(v)));
  }
  if (const auto* d = m.comme<MessagePasskey::Devoilement>()) {
    const auto* attente = std::get_if<AttenteDevoilement>(&t.phase);
    if (!attente || attente->rang != d->rang) return std::nullopt;
    return recevoirDevoilement(t, m, *d);
  }
  if (const auto* c = m.comme<MessagePasskey::Confirmation>();
      c && std::holds_alternative<AttenteConfirmation>(t.phase)) {
    return recevoirConfirmation(t, m, *c);
  }
  return std::nullopt;
}

std::optional<MessagePasskey> AppairageRepondeur::recevoirDevoilement(
    Tentative& t, const MessagePasskey& m, const MessagePasskey::Devoilement& d) {
  const std::uint8_t r = d.rang;
  if (d.nonce.size() != MessagePasskey::tailleNonce) return echouer(m);
  const Empreinte attendu = valeurEngagement(roleInitiateur, t.cleA, t.cleB, code_.bit(r), d.nonce);
  if (!macConcorde(attendu, t.engagementsA[r])) return echouer(m);
  t.noncesA.push_back(d.nonce);
  if (r < MessagePasskey::rangMax) {
    t.phase = AttenteEngagement{static_cast<std::uint8_t>(r + 1)};
  } else {
    t.phase = AttenteConfirmation{};
  }
  return repondre(m, MessagePasskey::devoilement(t.numero, r, t.noncesB[r]));
}

std::optional<MessagePasskey> AppairageRepondeur::recevoirConfirmation(
    const Tentative& t, const MessagePasskey& m, const MessagePasskey::Confirmation& c) {
  const ClesDerivees cles =
      deriverCles(t.secret, t.noncesA, t.noncesB, t.cleA, t.cleB, t.numero, t.nom);
  if (!macConcorde(valeurConfirmation(roleInitiateur, t.numero, cles.k2), c.valeur)) {
    return echouer(m);
  }
  MessagePasskey reponse = MessagePasskey::confirmation(
      t.numero, enOctets(valeurConfirmation(roleRepondeur, t.numero, cles.k2)));
  etat_ = Reussi{Liaison::nouvelle(cles.k1.octets(), cles.k0.octets()), t.nom,
                 deriverSecretPaire(cles.k2)};
  courante_.reset();
  return repondre(m, std::move(reponse));
}

bool AppairageRepondeur::abandonnerTentative() {
  if (!std::holds_alternative<EnCours>(etat_) || !courante_) return false;
  const bool renouveler = codeARenouveler(*courante_);
  courante_.reset();
  dernierRecu_.reset();
  derniereReponse_.reset();
  etat_ = Attente{};
  return renouveler;
}

bool AppairageRepondeur::codeARenouveler(const Tentative& t) {
  const auto* attente = std::get_if<AttenteEngagement>(&t.phase);
  return attente == nullptr || attente->rang != 0;
}

MessagePasskey AppairageRepondeur::repondre(const MessagePasskey& recu, MessagePasskey reponse) {
  dernierRecu_ = recu;
  derniereReponse_ = std::move(reponse);
  return *derniereReponse_;
}

MessagePasskey AppairageRepondeur::echouer(const MessagePasskey& m) {
  etat_ = Echoue{true};
  courante_.reset();
  return repondre(m, MessagePasskey::refus(m.tentative()));
}

bool AppairageRepondeur::respecteSesInvariants() const {
  if (std::holds_alternative<EnCours>(etat_) != courante_.has_value()) return false;
  if (!courante_) return true;
  const Tentative& t = *courante_;
  const auto tailles = [&](std::size_t a, std::size_t b, std::size_t e) {
    return t.noncesA.size() == a && t.noncesB.size() == b && t.engagementsA.size() == e;
  };
  if (const auto* p = std::get_if<AttenteEngagement>(&t.phase)) {
    return p->rang < nombreDeRangs && tailles(p->rang, p->rang, p->rang);
  }
  if (const auto* p = std::get_if<AttenteDevoilement>(&t.phase)) {
    return p->rang < nombreDeRangs && tailles(p->rang, p->rang + 1u, p->rang + 1u);
  }
  return tailles(nombreDeRangs, nombreDeRangs, nombreDeRangs);
}

}  // namespace ravlo
