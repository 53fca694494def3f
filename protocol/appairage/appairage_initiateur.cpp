// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/appairage_initiateur.hpp"

#include "protocol/appairage/texte_unicode.hpp"

namespace ravlo {
namespace {

/// Le premier octet tiré est le plus fort ; le fil porte ensuite la valeur petit-boutiste.
std::uint64_t tirerTentative(SourceDeHasard& hasard) {
  std::uint64_t t = 0;
  for (std::uint8_t octet : tirer(hasard, 8)) t = (t << 8) | octet;
  return t;
}

/// Les rangs 0 … n − 1.
std::bitset<nombreDeRangs> rangsJusquA(std::size_t n) {
  return std::bitset<nombreDeRangs>((1u << n) - 1);
}

}  // namespace

AppairageInitiateur::AppairageInitiateur(CodeAppairage code, std::string_view nomOrdinateur,
                                         std::shared_ptr<SourceDeHasard> hasard)
    : code_(std::move(code)),
      hasard_(std::move(hasard)),
      tentative_(tirerTentative(*hasard_)),
      prive_(ClePriveeX25519::tirer(*hasard_)),
      cleA_(prive_->publique()),
      nom_(nomAffichable(nomOrdinateur)),
      dernierMessage_(MessagePasskey::debut(tentative_, cleA_, nom_)) {}

std::optional<MessagePasskey> AppairageInitiateur::recevoir(const MessagePasskey& m) {
  // Avant tout autre test, y compris après la fin : un message répété reçoit la même réponse.
  if (dernierRecu_ && *dernierRecu_ == m) return dernierMessage_;
  if (m.tentative() != tentative_) return std::nullopt;
  if (!std::holds_alternative<EnCours>(etat_)) return std::nullopt;

  if (m.comme<MessagePasskey::Refus>()) {
    etat_ = Echoue{codeGrille()};
    phase_ = Fini{};
    return std::nullopt;
  }
  if (const auto* cle = m.comme<MessagePasskey::Cle>();
      cle && std::holds_alternative<AttenteCle>(phase_)) {
    return recevoirCle(m, *cle);
  }
  if (const auto* e = m.comme<MessagePasskey::Engagement>()) {
    const auto* attente = std::get_if<AttenteEngagement>(&phase_);
    if (attente && attente->rang == e->rang) {
      const std::uint8_t r = e->rang;
      engagementsB_.push_back(e->valeur);
      noncesDevoiles_.set(r);
      return avancer(AttenteDevoilement{r}, MessagePasskey::devoilement(tentative_, r, noncesA_[r]),
                     m);
    }
  }
  if (const auto* d = m.comme<MessagePasskey::Devoilement>()) {
    const auto* attente = std::get_if<AttenteDevoilement>(&phase_);
    if (attente && attente->rang == d->rang) return recevoirDevoilement(m, *d);
  }
  if (const auto* c = m.comme<MessagePasskey::Confirmation>();
      c && std::holds_alternative<AttenteConfirmation>(phase_)) {
    return recevoirConfirmation(m, *c);
  }
  return std::nullopt;
}

std::optional<MessagePasskey> AppairageInitiateur::recevoirCle(const MessagePasskey& m,
                                                               const MessagePasskey::Cle& cle) {
  std::optional<SecretPartage> secret =
      prive_ ? secretPartage(*prive_, cle.cle) : std::optional<SecretPartage>();
  if (!secret) return echouer(m);
  cleB_ = cle.cle;
  secret_ = std::move(secret);
  prive_.reset();
  return avancer(AttenteEngagement{0}, engagementPourRang(0), m);
}

std::optional<MessagePasskey> AppairageInitiateur::recevoirDevoilement(
    const MessagePasskey& m, const MessagePasskey::Devoilement& d) {
  const std::uint8_t r = d.rang;
  if (d.nonce.size() != MessagePasskey::tailleNonce) return echouer(m);
  // C'est ici qu'un répondeur d'un autre code se trahit, au premier rang où les bits diffèrent.
  const Empreinte attendu = valeurEngagement(roleRepondeur, cleA_, cleB_, code_.bit(r), d.nonce);
  if (!macConcorde(attendu, engagementsB_[r])) return echouer(m);
  noncesB_.push_back(d.nonce);
  if (r < MessagePasskey::rangMax) {
    const auto suivant = static_cast<std::uint8_t>(r + 1);
    return avancer(AttenteEngagement{suivant}, engagementPourRang(suivant), m);
  }

  if (!secret_) return echouer(m);
  const ClesDerivees cles =
      deriverCles(*secret_, noncesA_, noncesB_, cleA_, cleB_, tentative_, nom_);
  secret_.reset();
  MessagePasskey confirmation = MessagePasskey::confirmation(
      tentative_, enOctets(valeurConfirmation(roleInitiateur, tentative_, cles.k2)));
  return avancer(
      AttenteConfirmation{Liaison::nouvelle(cles.k0.octets(), cles.k1.octets()), cles.k2},
      std::move(confirmation), m);
}

std::optional<MessagePasskey> AppairageInitiateur::recevoirConfirmation(
    const MessagePasskey& m, const MessagePasskey::Confirmation& c) {
  const auto& attente = std::get<AttenteConfirmation>(phase_);
  if (!macConcorde(valeurConfirmation(roleRepondeur, tentative_, attente.k2), c.valeur)) {
    return echouer(m);
  }
  etat_ = Reussi{attente.liaison, deriverSecretPaire(attente.k2)};
  phase_ = Fini{};  // K2 s'efface avec la phase
  dernierRecu_ = m;
  return std::nullopt;
}

MessagePasskey AppairageInitiateur::engagementPourRang(std::uint8_t rang) {
  Octets nonce = tirer(*hasard_, MessagePasskey::tailleNonce);
  const Empreinte v = valeurEngagement(roleInitiateur, cleA_, cleB_, code_.bit(rang), nonce);
  noncesA_.push_back(std::move(nonce));
  return MessagePasskey::engagement(tentative_, rang, enOctets(v));
}

MessagePasskey AppairageInitiateur::echouer(const MessagePasskey& m) {
  etat_ = Echoue{codeGrille()};
  phase_ = Fini{};
  dernierRecu_ = m;
  dernierMessage_ = MessagePasskey::refus(tentative_);
  return dernierMessage_;
}

MessagePasskey AppairageInitiateur::avancer(Phase phase, MessagePasskey message,
                                            const MessagePasskey& recu) {
  phase_ = std::move(phase);
  dernierMessage_ = std::move(message);
  dernierRecu_ = recu;
  return dernierMessage_;
}

bool AppairageInitiateur::respecteSesInvariants() const {
  const auto tailles = [&](std::size_t a, std::size_t b, std::size_t e, std::size_t devoiles) {
    return noncesA_.size() == a && noncesB_.size() == b && engagementsB_.size() == e &&
           noncesDevoiles_ == rangsJusquA(devoiles);
  };
  if (noncesA_.size() > nombreDeRangs || noncesB_.size() > nombreDeRangs ||
      engagementsB_.size() > nombreDeRangs) {
    return false;
  }
  if (!std::holds_alternative<EnCours>(etat_)) return std::holds_alternative<Fini>(phase_);
  if (std::holds_alternative<AttenteCle>(phase_)) return tailles(0, 0, 0, 0);
  if (const auto* p = std::get_if<AttenteEngagement>(&phase_)) {
    return tailles(p->rang + 1u, p->rang, p->rang, p->rang);
  }
  if (const auto* p = std::get_if<AttenteDevoilement>(&phase_)) {
    return tailles(p->rang + 1u, p->rang, p->rang + 1u, p->rang + 1u);
  }
  if (std::holds_alternative<AttenteConfirmation>(phase_)) {
    return tailles(nombreDeRangs, nombreDeRangs, nombreDeRangs, nombreDeRangs);
  }
  return false;  // Fini alors que l'état est encore EnCours
}

}  // namespace ravlo
