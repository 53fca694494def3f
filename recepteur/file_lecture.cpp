// SPDX-License-Identifier: MPL-2.0
#include "recepteur/file_lecture.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace ravlo {
namespace {

// Le PCM voyage en petit-boutiste ; il se relit en entiers natifs sans permutation.
static_assert(std::endian::native == std::endian::little);

constexpr std::uint64_t presentBit = std::uint64_t{1} << 32;

}  // namespace

FileLecture::FileLecture(std::int64_t amorce, bool rattraper)
    : rattraper_(rattraper),
      envoyes_(std::make_unique<std::array<std::uint64_t, static_cast<std::size_t>(casiers)>>()),
      tete_(rattraper) {
  changerAmorce(amorce);
}

// --- Chemin de réception ---

FileLecture::Vue FileLecture::vue(const Instantane& p) const {
  const bool attente = enAttente_.vider || enAttente_.repartir || enAttente_.reculer;
  if (attente || p.generation != generation_) return supposee_;
  return {p.tete, p.decalage, p.entamee, p.enLecture, p.commencee};
}

bool FileLecture::envoye(std::uint32_t sequence) const {
  return (*envoyes_)[sequence % static_cast<std::uint32_t>(casiers)] == (presentBit | sequence);
}

FileLecture::Entree* FileLecture::reserver() {
  if (!passerEnAttente()) return nullptr;
  return anneau_.reserver();
}

bool FileLecture::passerEnAttente() {
  const auto passer = [&](Entree::Sorte sorte, std::uint32_t sequence) {
    Entree* e = anneau_.reserver();
    if (e == nullptr) return false;
    e->sorte = sorte;
    e->sequence = sequence;
    anneau_.publier();
    ++generation_;
    return true;
  };
  if (enAttente_.vider) {
    if (!passer(Entree::Sorte::vider, 0)) return false;
    enAttente_.vider = false;
  }
  if (enAttente_.repartir) {
    if (!passer(Entree::Sorte::repartir, *enAttente_.repartir)) return false;
    enAttente_.repartir.reset();
  }
  if (enAttente_.reculer) {
    if (!passer(Entree::Sorte::reculer, *enAttente_.reculer)) return false;
    enAttente_.reculer.reset();
  }
  return true;
}

void FileLecture::ordonnerRemise(Entree::Sorte sorte, std::uint32_t sequence) {
  // Vider ou repartir efface tout ce qui les précède : ce qui attendait encore aussi.
  if (sorte == Entree::Sorte::vider) {
    enAttente_.vider = true;
    enAttente_.repartir.reset();
    enAttente_.reculer.reset();
  }
  if (sorte == Entree::Sorte::repartir) {
    enAttente_.repartir = sequence;
    enAttente_.reculer.reset();
  }
  if (sorte == Entree::Sorte::reculer) enAttente_.reculer = sequence;
  (void)passerEnAttente();
}

void FileLecture::repartir(std::uint32_t sequence, bool commencee) {
  envoyes_->fill(0);
  recente_ = sequence;
  supposee_ = {.tete = sequence, .commencee = commencee};
  ordonnerRemise(Entree::Sorte::repartir, sequence);
}

FileLecture::Placement FileLecture::placer(std::uint32_t sequence, InstantNs captureNs,
                                           VueOctets pcm) {
  const auto taille = static_cast<std::int64_t>(pcm.size());
  constexpr auto octetsParTrame = static_cast<std::int64_t>(flux::octetsParTrame);
  if (taille == 0 || taille % octetsParTrame != 0 || taille / octetsParTrame > tramesMaxParCasier) {
    return {};
  }
  const std::int64_t trames = taille / octetsParTrame;
  if (!recente_) repartir(sequence, vue(publie_.lire()).commencee);
  Vue v = vue(publie_.lire());
  std::int64_t d = ecartSequence(sequence, v.tete);
  // Avant le premier son, un paquet plus ancien que la tête n'est pas en retard : la
  // lecture n'a encore rien joué.
  if (d < 0 && ecartSequence(recente_.value_or(sequence), sequence) < casiers && !v.commencee &&
      !v.enLecture) {
    v = supposee_ = {.tete = sequence};
    ordonnerRemise(Entree::Sorte::reculer, sequence);
    d = 0;
  }
  if (d < -casiers || d >= casiers) {
    repartir(sequence, v.commencee);
    v = supposee_;
    d = 0;
  }
  const std::int64_t avance = d * tramesPaquet_ - v.decalage;
  if (d < 0 || (d == 0 && v.entamee)) {
    ++tardifs_;
    return {Sort::tardif, std::min<std::int64_t>(avance, -1), false, v.enLecture, false};
  }
  if (envoye(sequence)) {
    ++doublons_;
    return {Sort::doublon, avance, false, v.enLecture, false};
  }
  if (Entree* e = reserver()) {
    e->sorte = Entree::Sorte::paquet;
    e->sequence = sequence;
    e->valeur = static_cast<std::int64_t>(captureNs);
    e->trames = trames;
    std::memcpy(e->pcm.data(), pcm.data(), pcm.size());
    anneau_.publier();
  } else {
    ++nonPasses_;  // perdu pour le rendu : son casier se masquera
  }
  (*envoyes_)[sequence % static_cast<std::uint32_t>(casiers)] = presentBit | sequence;
  const bool reordonne = ecartSequence(sequence, recente_.value_or(sequence)) < 0;
  if (!reordonne) {
    recente_ = sequence;
    tramesPaquet_ = trames;
  }
  ++places_;
  if (reordonne) ++reordonnes_;
  return {Sort::place, avance, reordonne, v.enLecture, !v.enLecture && v.commencee};
}

void FileLecture::changerAllongement(std::int64_t trames) {
  if (Entree* e = reserver()) {
    e->sorte = Entree::Sorte::allonger;
    e->valeur = std::max<std::int64_t>(trames, 0);
    anneau_.publier();
  }
}

void FileLecture::changerDepartALHeure(std::optional<std::int64_t> ecartNs) {
  ecartDepartNs_.store(ecartNs.value_or(sansDepart), std::memory_order_relaxed);
}

void FileLecture::changerAmorce(std::int64_t trames) {
  amorce_.store(std::clamp<std::int64_t>(trames, 0, casiers * tramesMaxParCasier),
                std::memory_order_relaxed);
}

void FileLecture::decaler(std::int64_t trames, bool enPhase) {
  // Un fichier n'a pas d'heure à tenir : il garde le son à l'échantillon près.
  if (!rattraper_) return;
  if (Entree* e = reserver()) {
    e->sorte = Entree::Sorte::decaler;
    e->valeur = trames;
    e->enPhase = enPhase;
    anneau_.publier();
  }
}

std::optional<double> FileLecture::prendreEcartRendus() {
  const ReleveRendus::Ecarts e = publie_.lire().ecarts;
  const ReleveRendus::Ecarts base =
      e.epoque == ecartsPris_.epoque ? ecartsPris_ : ReleveRendus::Ecarts{};
  const std::int64_t nombre = e.nombre - base.nombre;
  if (nombre == 0 || !e.connus) return std::nullopt;
  ecartsPris_ = e;
  return static_cast<double>(e.reference) +
         static_cast<double>(e.somme - base.somme) / static_cast<double>(nombre);
}

Evenements FileLecture::prendreEvenements() {
  return {evenements_.exchange(0, std::memory_order_acq_rel)};
}

void FileLecture::vider() {
  envoyes_->fill(0);
  recente_.reset();
  supposee_ = {};
  ordonnerRemise(Entree::Sorte::vider, 0);
  (void)prendreEvenements();
}

void FileLecture::remettreANeuf(std::int64_t amorce) {
  while (anneau_.prochaine() != nullptr) anneau_.rendre();
  changerAmorce(amorce);
  ecartDepartNs_.store(sansDepart, std::memory_order_relaxed);
  evenements_.store(0, std::memory_order_relaxed);
  recente_.reset();
  tramesPaquet_ = tramesMaxParCasier;
  envoyes_->fill(0);
  generation_ = 0;
  supposee_ = {};
  enAttente_ = {};
  ecartsPris_ = {};
  places_ = tardifs_ = doublons_ = reordonnes_ = nonPasses_ = 0;
  tete_.remettreANeuf();
  releve_ = {};
  generationAppliquee_ = 0;
  publier();
}

FileLecture::Etat FileLecture::etat() const {
  const Instantane p = publie_.lire();
  const Vue v = vue(p);
  Etat e;
  if (recente_ && ecartSequence(*recente_, v.tete) >= 0) {
    e.reserveTrames = std::max<std::int64_t>(
        0, (ecartSequence(*recente_, v.tete) + 1) * tramesPaquet_ - v.decalage);
  }
  e.amorceTrames = amorce_.load(std::memory_order_relaxed);
  e.enLecture = v.enLecture;
  e.commencee = v.commencee;
  e.trous = p.compte.trous;
  e.masques = p.compte.masques;
  // Un paquet placé que la tête a dépassé avant que le rendu le range est tardif.
  e.places = places_ - p.compte.tardifs;
  e.tardifs = tardifs_ + p.compte.tardifs;
  e.doublons = doublons_;
  e.reordonnes = reordonnes_;
  e.rattrapages = p.compte.rattrapages;
  e.tramesSautees = p.compte.tramesSautees;
  e.recalages = p.compte.recalages;
  e.nonPasses = nonPasses_;
  e.dernierRendu = p.dernierRendu;
  e.reprisesHeure = p.reprisesHeure;
  e.blocTrames = p.blocTrames;
  return e;
}

// --- Fil de rendu ---

void FileLecture::appliquerEntrees() {
  for (const Entree* e = anneau_.prochaine(); e != nullptr; e = anneau_.prochaine()) {
    switch (e->sorte) {
      case Entree::Sorte::paquet:
        tete_.ranger(e->sequence, static_cast<InstantNs>(e->valeur), e->trames, e->pcm);
        break;
      case Entree::Sorte::repartir:
        tete_.repartir(e->sequence);
        releve_.oublierEcarts();
        ++generationAppliquee_;
        break;
      case Entree::Sorte::reculer:
        tete_.reculer(e->sequence);
        ++generationAppliquee_;
        break;
      case Entree::Sorte::vider:
        tete_.vider();
        releve_.oublierEcarts();
        ++generationAppliquee_;
        // Ce qui est arrivé à la file d'avant ne regarde pas le pilote d'un nouvel émetteur.
        evenements_.store(0, std::memory_order_release);
        break;
      case Entree::Sorte::decaler:
        tete_.demanderDecalage(e->valeur, e->enPhase);
        break;
      case Entree::Sorte::allonger:
        tete_.changerAllongement(e->valeur);
        break;
    }
    anneau_.rendre();
  }
}

void FileLecture::publier() {
  const auto p = tete_.position();
  const auto etat = tete_.etat();
  using E = TeteLecture::Etat;
  publie_.ecrire({.generation = generationAppliquee_,
                  .tete = p.casier,
                  .decalage = p.decalage,
                  .entamee = tete_.entamee(),
                  .enLecture = etat == E::lecture || etat == E::masque || etat == E::retenue,
                  .commencee = etat != E::amorce,
                  .compte = tete_.compte(),
                  .dernierRendu = releve_.dernierRendu(),
                  .blocTrames = releve_.blocTrames(),
                  .reprisesHeure = releve_.reprisesHeure(),
                  .ecarts = releve_.ecarts()});
}

FileLecture::Tirage FileLecture::tirer(std::int64_t trames, std::span<float> gauche,
                                       std::span<float> droite, std::optional<InstantNs> heureNs,
                                       bool morceau) {
  const auto place = static_cast<std::int64_t>(std::min(gauche.size(), droite.size()));
  const std::int64_t n = std::clamp<std::int64_t>(trames, 0, place);
  appliquerEntrees();
  if (!morceau) releve_.noterBloc(n);
  const std::int64_t depart = ecartDepartNs_.load(std::memory_order_relaxed);
  const auto t = tete_.tirer(n, gauche, droite, heureNs, amorce_.load(std::memory_order_relaxed),
                             depart == sansDepart ? std::nullopt : std::optional(depart));
  Evenements e = t.evenements;
  e.ajouter(releve_.noterRendu(heureNs, t.captureDebut));
  if (e.bits != 0) evenements_.fetch_or(e.bits, std::memory_order_acq_rel);
  publier();
  return {t.rendues, e};
}

bool FileLecture::peutRendre(std::int64_t trames) {
  appliquerEntrees();
  publier();
  return tete_.peutRendre(trames, amorce_.load(std::memory_order_relaxed));
}

void FileLecture::noterBloc(std::int64_t trames) {
  releve_.noterBloc(trames);
  publier();
}

}  // namespace ravlo
