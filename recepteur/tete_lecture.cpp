// SPDX-License-Identifier: MPL-2.0
#include "recepteur/tete_lecture.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "protocol/audio/format_flux.hpp"
#include "recepteur/recherche_phase.hpp"

namespace ravlo {
namespace {

constexpr double nsParTrame = 1e9 / static_cast<double>(flux::tramesParSeconde);
constexpr std::int64_t seuilRattrapageTrames = 15 * flux::tramesParSeconde / 1000;

}  // namespace

void TeteLecture::passerA(Etat vers, std::int64_t silence) {
  switch (vers) {
    case Etat::lecture:
      // Un départ après un trou, la fin d'un masquage ou d'une retenue : le son revient en
      // fondu.
      if (etat_ == Etat::aSec || etat_ == Etat::masque || etat_ == Etat::retenue) {
        fondu_.partirDuSilence();
      }
      break;
    case Etat::masque:
      ++compte_.masques;
      silenceRestant_ = std::min(allongement_, tramesPaquet_);
      allongement_ -= silenceRestant_;
      break;
    case Etat::retenue:
      // Le son quitté s'éteint ; il reviendra en fondu là où il s'est arrêté.
      fondu_.partirDe(casiers_, tete_);
      silenceRestant_ = silence;
      break;
    case Etat::amorce:
    case Etat::aSec:
      silenceRestant_ = 0;
      sansSuiteServi_ = false;
      fin_ = FinCasier::indecise;
      break;
  }
  etat_ = vers;
}

void TeteLecture::ranger(std::uint32_t sequence, InstantNs captureNs, std::int64_t trames,
                         std::span<const std::int16_t> entrelace) {
  if (!recente_) return;
  // Jugé à sa place à la réception ; la tête a pu l'atteindre depuis.
  const std::int64_t d = ecartSequence(sequence, tete_.casier);
  if (d < 0 || (d == 0 && entamee())) {
    ++compte_.tardifs;
    return;
  }
  casiers_.ranger(sequence, captureNs, trames, entrelace);
  if (ecartSequence(sequence, *recente_) >= 0) {
    recente_ = sequence;
    tramesPaquet_ = trames;
  }
}

void TeteLecture::repartir(std::uint32_t sequence) {
  casiers_.toutLiberer();
  recente_ = sequence;
  tete_ = {sequence, 0};
  fondu_.oublier();
  decalage_.reset();
  passerA(etat_ == Etat::amorce ? Etat::amorce : Etat::aSec);
}

void TeteLecture::reculer(std::uint32_t sequence) {
  if (etat_ == Etat::amorce) tete_ = {sequence, 0};
}

void TeteLecture::vider() {
  repartir(0);
  recente_.reset();
  passerA(Etat::amorce);
}

void TeteLecture::remettreANeuf() {
  casiers_.toutLiberer();
  fondu_.oublier();
  etat_ = Etat::amorce;
  tete_ = {};
  recente_.reset();
  tramesPaquet_ = CasiersLecture::tramesMax;
  silenceRestant_ = 0;
  allongement_ = 0;
  sansSuiteServi_ = false;
  fin_ = FinCasier::indecise;
  decalage_.reset();
  compte_ = {};
}

void TeteLecture::demanderDecalage(std::int64_t trames, bool enPhase) {
  decalage_ = Decalage{trames, enPhase};
}

std::int64_t TeteLecture::reserve() const {
  if (!recente_) return 0;
  const std::int64_t d = ecartSequence(*recente_, tete_.casier);
  if (d < 0) return 0;
  return std::max<std::int64_t>(0, (d + 1) * tramesPaquet_ - tete_.decalage);
}

std::optional<std::int64_t> TeteLecture::amorceAtteinte(std::int64_t amorce) const {
  const std::int64_t r = reserve();
  if (!recente_ || r == 0 || r < amorce) return std::nullopt;
  // Ne pas démarrer sur un casier vide : ce serait jouer d'emblée un masquage.
  if (!casiers_.present(apres(tete_, r - amorce, tramesPaquet_).casier)) return std::nullopt;
  return r - amorce;
}

std::optional<std::int64_t> TeteLecture::departAtteint(std::optional<InstantNs> heureNs,
                                                       std::int64_t amorce,
                                                       std::optional<std::int64_t> ecartNs) const {
  if (!ecartNs || !heureNs || !recente_ || !casiers_.present(*recente_)) {
    return amorceAtteinte(amorce);
  }
  const std::int64_t r = reserve();
  // La trame due, comptée depuis le plus récent reçu ; la tête est r − un paquet avant lui
  // (chaque casier d'un paquet plein, comme la réserve).
  const InstantNs dueNs = *heureNs - static_cast<InstantNs>(*ecartNs);
  const double depuisRecent =
      static_cast<double>(ecartSigneNs(dueNs, casiers_[*recente_].captureNs)) / nsParTrame;
  const auto saut = std::llround(depuisRecent + static_cast<double>(r - tramesPaquet_));
  if (saut < 0) return std::nullopt;                            // la tête n'est pas encore due
  if (saut > r - tramesPaquet_) return amorceAtteinte(amorce);  // en retard sur ce qui est reçu
  if (!casiers_.present(apres(tete_, saut, tramesPaquet_).casier)) return std::nullopt;
  return saut;
}

void TeteLecture::avancer(std::int64_t trames, bool enchainer) {
  if (enchainer) {
    // Ce qui aurait suivi s'éteint pendant que le son rejoint monte.
    if (etat_ == Etat::lecture) {
      fondu_.partirDe(casiers_, tete_);
    } else {
      fondu_.partirDuSilence();
    }
  }
  const auto arrivee = apres(tete_, trames, tramesPaquet_);
  for (std::uint32_t s = tete_.casier;
       s != arrivee.casier && ecartSequence(s, tete_.casier) < CasiersLecture::nombre; ++s) {
    casiers_.liberer(s);
  }
  tete_ = arrivee;
  fin_ = FinCasier::indecise;
  if (etat_ == Etat::masque || etat_ == Etat::retenue) {
    etat_ = Etat::lecture;  // le fondu enchaîné vient d'être posé
    silenceRestant_ = 0;
  }
  compte_.tramesSautees += trames;
}

void TeteLecture::passerAuSuivant() {
  casiers_.liberer(tete_.casier);
  const bool eteinte = fin_ == FinCasier::eteinte;
  tete_ = {tete_.casier + 1, 0};
  fin_ = FinCasier::indecise;
  if (etat_ == Etat::masque) {
    silenceRestant_ = 0;
    passerA(Etat::lecture);
  } else if (eteinte) {
    fondu_.partirDuSilence();
  }
}

void TeteLecture::appliquerDecalage(Tirage& tirage) {
  if (!decalage_) return;
  const Decalage demande = *decalage_;
  // Une retenue pendant un masquage : le silence y est déjà, la tête attend là plutôt que de
  // passer le casier qui manque.
  const bool retenueEnMasque = demande.trames < 0 && etat_ == Etat::masque;
  if (!retenueEnMasque &&
      (demande.trames == 0 || etat_ != Etat::lecture || !casiers_.present(tete_.casier))) {
    decalage_.reset();
    return;
  }
  // Gardée le temps d'un fondu : une file qui n'a plus qu'un paquet d'avance (une sortie qui a
  // pris du retard) masque et rejoue en fondu à chaque bloc, et une demande jetée à chaque
  // fois l'y laisserait, un paquet sur trois masqué, hors de l'heure du groupe.
  if (!retenueEnMasque && fondu_.enCours()) return;
  decalage_.reset();
  if (demande.trames > 0) {
    const std::int64_t plafond = reserve() - tramesPaquet_;
    std::int64_t saut = std::min(demande.trames, plafond);
    if (saut <= 0) return;
    if (demande.enPhase) saut = sautEnPhase(casiers_, tete_, tramesPaquet_, saut, plafond);
    avancer(saut, true);
  } else {
    passerA(Etat::retenue, std::max(-demande.trames, FonduEnchaine::trames));
  }
  ++compte_.recalages;
  tirage.evenements.ajouter(Evenement::recalage);
}

std::int64_t TeteLecture::rendreSilence(std::int64_t n, std::span<float> g, std::span<float> d) {
  const std::int64_t k =
      silenceRestant_ > 0 ? std::min(n, silenceRestant_)
                          : std::min(n, std::max<std::int64_t>(tramesPaquet_ - tete_.decalage, 0));
  for (std::int64_t j = 0; j < k; ++j) {
    // Un fondu enchaîné en cours finit de s'éteindre sur le silence.
    float gj = 0.0F;
    float dj = 0.0F;
    fondu_.meler(gj, dj);
    g[static_cast<std::size_t>(j)] = gj;
    d[static_cast<std::size_t>(j)] = dj;
  }
  if (silenceRestant_ > 0) {
    silenceRestant_ -= k;
    if (silenceRestant_ == 0 && etat_ == Etat::retenue) passerA(Etat::lecture);
  } else {
    tete_.decalage += k;
    if (tete_.decalage >= tramesPaquet_) passerAuSuivant();
  }
  return k;
}

std::int64_t TeteLecture::rendreCasier(std::int64_t i, std::int64_t n, std::span<float> g,
                                       std::span<float> d, Tirage& t) {
  const CasiersLecture::Casier& c = casiers_[tete_.casier];
  const std::int64_t k = std::min(n - i, c.trames - tete_.decalage);
  const std::int64_t debutFin = std::max<std::int64_t>(c.trames - FonduEnchaine::trames, 0);
  for (std::int64_t j = 0; j < k; ++j) {
    const std::int64_t f = tete_.decalage + j;
    float gj = c.gauche[static_cast<std::size_t>(f)];
    float dj = c.droite[static_cast<std::size_t>(f)];
    if (f >= debutFin) {
      // Décidé une fois, à l'entrée dans la fin du casier : la suite manque, on éteint.
      if (fin_ == FinCasier::indecise) {
        fin_ = casiers_.present(tete_.casier + 1) ? FinCasier::tenue : FinCasier::eteinte;
      }
      if (fin_ == FinCasier::eteinte) {
        const float gain = 1.0F - FonduEnchaine::montee(FonduEnchaine::trames - (c.trames - f));
        gj *= gain;
        dj *= gain;
      }
    }
    fondu_.meler(gj, dj);
    g[static_cast<std::size_t>(i + j)] = gj;
    d[static_cast<std::size_t>(i + j)] = dj;
  }
  if (!t.captureDebut) {
    t.captureDebut = c.captureNs +
                     static_cast<InstantNs>(static_cast<double>(tete_.decalage) * nsParTrame) -
                     static_cast<InstantNs>(static_cast<double>(i) * nsParTrame);
  }
  t.rendues += k;
  tete_.decalage += k;
  if (tete_.decalage >= c.trames) passerAuSuivant();
  return k;
}

TeteLecture::Tirage TeteLecture::tirer(std::int64_t n, std::span<float> gauche,
                                       std::span<float> droite, std::optional<InstantNs> heureNs,
                                       std::int64_t amorce,
                                       std::optional<std::int64_t> ecartDepartNs) {
  Tirage t;
  if (!joue()) {
    if (const auto exces = departAtteint(heureNs, amorce, ecartDepartNs)) {
      if (*exces > 0) avancer(*exces, false);
      passerA(Etat::lecture);
    }
  } else if (rattraper_ && reserve() > amorce + seuilRattrapageTrames) {
    avancer(reserve() - amorce, true);
    ++compte_.rattrapages;
    t.evenements.ajouter(Evenement::rattrapage);
    decalage_.reset();
  } else {
    appliquerDecalage(t);
  }

  std::int64_t i = 0;
  while (i < n && joue()) {
    if (silenceRestant_ > 0 || etat_ == Etat::masque) {
      i += rendreSilence(n - i, gauche.subspan(static_cast<std::size_t>(i)),
                         droite.subspan(static_cast<std::size_t>(i)));
      continue;
    }
    if (casiers_.present(tete_.casier)) {
      sansSuiteServi_ = false;
      if (tete_.decalage >= casiers_[tete_.casier].trames) {  // un paquet court, rejoint au-delà
        passerAuSuivant();
        continue;
      }
      i += rendreCasier(i, n, gauche, droite, t);
      continue;
    }
    // Un paquet plus récent est là : celui-ci est perdu (ou trop en retard), on le masque.
    // Rien de plus récent : le plus souvent un paquet perdu que le suivant n'a pas encore
    // trahi, une file courte n'en tenant guère plus d'un ; masqué lui aussi, il garde l'heure
    // de jeu, et c'est au casier suivant encore à sec que la file fait un trou.
    const bool plusRecent = ecartSequence(*recente_, tete_.casier) > 0;
    if (plusRecent || (rattraper_ && !sansSuiteServi_)) {
      const bool servi = sansSuiteServi_ || !plusRecent;
      passerA(Etat::masque);
      sansSuiteServi_ = servi;
      continue;
    }
    ++compte_.trous;
    t.evenements.ajouter(Evenement::trou);
    passerA(Etat::aSec);
  }
  for (std::int64_t j = i; j < n; ++j) {
    gauche[static_cast<std::size_t>(j)] = 0.0F;
    droite[static_cast<std::size_t>(j)] = 0.0F;
  }
  return t;
}

bool TeteLecture::peutRendre(std::int64_t trames, std::int64_t amorce) const {
  const std::int64_t voulu = trames + FonduEnchaine::trames;
  if (!joue()) {
    const auto exces = amorceAtteinte(amorce);
    if (!exces) return true;  // encore l'amorce : du silence
    return casiers_.contigu(apres(tete_, *exces, tramesPaquet_), voulu) >= voulu;
  }
  if (etat_ == Etat::masque || silenceRestant_ > 0) return true;  // n'attend aucun paquet
  return casiers_.contigu(tete_, voulu) >= voulu;
}

}  // namespace ravlo
