#include "plateforme/pulseaudio/plateforme_pulse.hpp"

#include <pulse/error.h>
#include <pulse/subscribe.h>

#include <utility>

#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {

PlateformePulse::PlateformePulse(std::string repertoireEtat)
    : repertoireEtat_(std::move(repertoireEtat)), contexte_("Ravlo Link") {
  filSuivi_ = std::thread([this] { suivi(); });
}

PlateformePulse::~PlateformePulse() {
  {
    const std::lock_guard garde(verrouSuivi_);
    fin_ = true;
  }
  reveil_.notify_one();
  filSuivi_.join();
  const Garde garde(verrouTable_, contexte_);
  if (abonne_ != nullptr && abonne_ == contexte_.contexte()) {
    pa_context_set_subscribe_callback(abonne_, nullptr, nullptr);
  }
  for (auto& [id, t] : taps_) demolir(t);
  taps_.clear();
}

void PlateformePulse::abonner() {
  pa_context* c = contexte_.contexte();
  if (c == nullptr || c == abonne_) return;
  pa_context_set_subscribe_callback(c, &PlateformePulse::rappelAbonnement, this);
  pa_operation* operation = pa_context_subscribe(
      c,
      static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SINK |
                                          PA_SUBSCRIPTION_MASK_SINK_INPUT),
      nullptr, nullptr);
  if (operation == nullptr) return;
  pa_operation_unref(operation);
  abonne_ = c;
}

// Sur le fil de la boucle : on ne peut y attendre aucune réponse du serveur, le fil de
// suivi s'en charge.
void PlateformePulse::rappelAbonnement(pa_context*, pa_subscription_event_type_t, std::uint32_t,
                                       void* moi) {
  auto* soi = static_cast<PlateformePulse*>(moi);
  {
    const std::lock_guard garde(soi->verrouSuivi_);
    soi->aSuivre_ = true;
  }
  soi->reveil_.notify_one();
}

void PlateformePulse::suivi() {
  for (;;) {
    {
      std::unique_lock garde(verrouSuivi_);
      reveil_.wait(garde, [this] { return aSuivre_ || fin_; });
      if (fin_) return;
      aSuivre_ = false;
    }
    const Garde garde(verrouTable_, contexte_);
    suivre();
  }
}

void PlateformePulse::suivre() {
  if (contexte_.contexte() == nullptr ||
      pa_context_get_state(contexte_.contexte()) != PA_CONTEXT_READY) {
    return;
  }
  const auto defaut = requetesPulse::nomPuitsParDefaut(contexte_);
  if (defaut.statut != 0) return;
  for (auto& [id, t] : taps_) {
    if (t.agregat == 0 || !t.flux) continue;
    std::string sortie = defaut.valeur;
    if (t.silence) {
      // Notre sortie partie : le flux du silence, tué, le dit par `lireEchec`.
      if (!t.silence->suivre(defaut.valeur)) continue;
      sortie = t.silence->puitsPrecedent();
    }
    const auto puits = requetesPulse::puitsNomme(contexte_, sortie);
    if (puits.statut != 0) continue;
    if (t.flux->source() != puits.valeur.moniteur || t.flux->echec() != 0) {
      rebrancher(t, t.flux, puits.valeur.moniteur);
    }
  }
}

StatutAudio PlateformePulse::rebrancher(Tap& t, std::unique_ptr<FluxCapturePulse>& flux,
                                        const std::string& source) {
  const FluxCapturePulse* ancien = flux.get();
  auto neuf = FluxCapturePulse::creer(contexte_, t.description.nom);
  if (neuf.statut != 0) return neuf.statut;
  if (const StatutAudio statut = neuf.valeur->connecter(source); statut != 0) return statut;
  if (t.demarre) {
    // L'ancien se tait avant que le neuf parle : l'anneau ne reçoit jamais les deux mêlés.
    const bool porteRappel = actif(t) == ancien;
    if (porteRappel) {
      flux->installer(nullptr);
      neuf.valeur->installer(t.rappel.get());
    }
    if (const StatutAudio statut = neuf.valeur->reprendre(); statut != 0) {
      neuf.valeur->installer(nullptr);
      if (porteRappel) flux->installer(t.rappel.get());
      return statut;
    }
  }
  flux = std::move(neuf.valeur);
  return 0;
}

StatutAudio PlateformePulse::lireEchec(IdentifiantAudio agregat) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRoutage(agregat);
  if (t == nullptr) return PA_ERR_NOENTITY;
  return actif(*t)->echec();
}

PlateformePulse::Tap* PlateformePulse::tap(IdentifiantAudio id) {
  const auto it = taps_.find(id);
  return it == taps_.end() ? nullptr : &it->second;
}

PlateformePulse::Tap* PlateformePulse::tapDuRoutage(IdentifiantAudio agregat) {
  for (auto& [id, t] : taps_) {
    if (agregat != 0 && t.agregat == agregat) return &t;
  }
  return nullptr;
}

PlateformePulse::Tap* PlateformePulse::tapDuRappel(IdentifiantAudio agregat,
                                                   IdentifiantRappel rappel) {
  Tap* t = tapDuRoutage(agregat);
  return t != nullptr && t->idRappel == rappel ? t : nullptr;
}

FluxCapturePulse* PlateformePulse::actif(Tap& t) {
  return t.fluxSilence ? t.fluxSilence.get() : t.flux.get();
}

ResultatAudio<IdentifiantAudio> PlateformePulse::lireSortieParDefaut() {
  const Garde garde(verrouTable_, contexte_);
  if (const StatutAudio statut = contexte_.relier(); statut != 0) return {statut, 0};
  // Avant de lire la sortie par défaut : un reste en a peut-être pris la place.
  SilencePulse::nettoyerRestes(contexte_, repertoireEtat_);
  const auto nom = requetesPulse::nomPuitsParDefaut(contexte_);
  if (nom.statut != 0) return {nom.statut, 0};
  const auto puits = requetesPulse::puitsNomme(contexte_, nom.valeur);
  return {puits.statut, puits.valeur.index};
}

ResultatAudio<std::optional<std::string>> PlateformePulse::lireIdentifiantSortie(
    IdentifiantAudio sortie) {
  const Garde garde(verrouTable_, contexte_);
  if (const StatutAudio statut = contexte_.relier(); statut != 0) return {statut, std::nullopt};
  auto puits = requetesPulse::puitsNumero(contexte_, sortie);
  if (puits.statut != 0) return {puits.statut, std::nullopt};
  return {0, std::move(puits.valeur.nom)};
}

ResultatAudio<IdentifiantAudio> PlateformePulse::creerTap(const DescriptionTap& description) {
  const Garde garde(verrouTable_, contexte_);
  if (const StatutAudio statut = contexte_.relier(); statut != 0) return {statut, 0};
  Tap t;
  t.description = description;
  if (description.silencieux) {
    auto silence = SilencePulse::installer(contexte_, repertoireEtat_, description.nom);
    if (silence.statut != 0) return {silence.statut, 0};
    t.silence = std::move(silence.valeur);
  }
  auto flux = FluxCapturePulse::creer(contexte_, description.nom);
  if (flux.statut != 0) {
    if (t.silence) t.silence->retirer();
    return {flux.statut, 0};
  }
  t.flux = std::move(flux.valeur);
  const IdentifiantAudio id = prochainId_++;
  taps_.emplace(id, std::move(t));
  return {0, id};
}

ResultatAudio<FormatFlux> PlateformePulse::lireFormatTap(IdentifiantAudio id) {
  const Garde garde(verrouTable_, contexte_);
  const Tap* t = tap(id);
  if (t == nullptr || !t->flux) return {PA_ERR_NOENTITY, {}};
  return {0, t->flux->format()};
}

ResultatAudio<IdentifiantAudio> PlateformePulse::creerAgregat(
    IdentifiantAudio id, const std::string& identifiantSortie) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tap(id);
  if (t == nullptr) return {PA_ERR_NOENTITY, 0};
  if (t->agregat != 0 || !t->flux) return {PA_ERR_EXIST, 0};
  const auto sortie = requetesPulse::puitsNomme(contexte_, identifiantSortie);
  StatutAudio statut = sortie.statut;
  if (statut == 0) statut = t->flux->connecter(sortie.valeur.moniteur);
  if (statut == 0 && t->silence) statut = brancherSilence(*t);
  if (statut != 0) {
    // Un flux ne se relie qu'une fois : on en prépare un neuf.
    t->fluxSilence.reset();
    t->flux = FluxCapturePulse::creer(contexte_, t->description.nom).valeur;
    return {statut, 0};
  }
  t->agregat = prochainId_++;
  abonner();
  // La sortie a pu changer entre sa lecture et l'abonnement.
  {
    const std::lock_guard suivi(verrouSuivi_);
    aSuivre_ = true;
  }
  reveil_.notify_one();
  return {0, t->agregat};
}

ResultatAudio<std::optional<IdentifiantRappel>> PlateformePulse::creerRappel(
    IdentifiantAudio agregat, RappelES rappel) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRoutage(agregat);
  if (t == nullptr) return {PA_ERR_NOENTITY, std::nullopt};
  if (t->idRappel) return {PA_ERR_EXIST, std::nullopt};
  t->rappel = std::make_unique<RappelES>(std::move(rappel));
  t->idRappel = prochainId_++;
  return {0, t->idRappel};
}

StatutAudio PlateformePulse::demarrer(IdentifiantAudio agregat, IdentifiantRappel rappel) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRappel(agregat, rappel);
  if (t == nullptr) return PA_ERR_NOENTITY;
  actif(*t)->installer(t->rappel.get());
  StatutAudio statut = t->flux->reprendre();
  if (statut == 0 && t->fluxSilence) statut = t->fluxSilence->reprendre();
  t->demarre = statut == 0;
  if (!t->demarre) actif(*t)->installer(nullptr);
  return statut;
}

StatutAudio PlateformePulse::arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRappel(agregat, rappel);
  if (t == nullptr) return PA_ERR_NOENTITY;
  // Verrou tenu : aucun rappel ne tourne, et plus aucun ne partira.
  actif(*t)->installer(nullptr);
  t->demarre = false;
  const StatutAudio statut = t->flux->suspendre();
  if (t->fluxSilence) t->fluxSilence->suspendre();
  return statut;
}

StatutAudio PlateformePulse::detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRappel(agregat, rappel);
  if (t == nullptr) return PA_ERR_NOENTITY;
  actif(*t)->installer(nullptr);
  t->demarre = false;
  t->rappel.reset();
  t->idRappel.reset();
  return 0;
}

StatutAudio PlateformePulse::detruireAgregat(IdentifiantAudio agregat) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tapDuRoutage(agregat);
  if (t == nullptr) return PA_ERR_NOENTITY;
  t->fluxSilence.reset();
  t->flux = FluxCapturePulse::creer(contexte_, t->description.nom).valeur;
  t->agregat = 0;
  t->demarre = false;
  return 0;
}

StatutAudio PlateformePulse::detruireTap(IdentifiantAudio id) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tap(id);
  if (t == nullptr) return PA_ERR_NOENTITY;
  demolir(*t);
  taps_.erase(id);
  return 0;
}

void PlateformePulse::demolir(Tap& t) {
  t.fluxSilence.reset();
  t.flux.reset();
  t.rappel.reset();
  if (t.silence) t.silence->retirer();
  t.silence.reset();
}

ResultatAudio<std::optional<DescriptionTap>> PlateformePulse::lireDescriptionTap(
    IdentifiantAudio id) {
  const Garde garde(verrouTable_, contexte_);
  const Tap* t = tap(id);
  if (t == nullptr) return {PA_ERR_NOENTITY, std::nullopt};
  return {0, t->description};
}

StatutAudio PlateformePulse::ecrireDescriptionTap(IdentifiantAudio id,
                                                  const DescriptionTap& description) {
  const Garde garde(verrouTable_, contexte_);
  Tap* t = tap(id);
  if (t == nullptr) return PA_ERR_NOENTITY;
  if (const StatutAudio statut = contexte_.relier(); statut != 0) return statut;
  if (description.silencieux == static_cast<bool>(t->silence)) {
    t->description = description;
    return 0;
  }
  if (description.silencieux) {
    auto silence = SilencePulse::installer(contexte_, repertoireEtat_, description.nom);
    if (silence.statut != 0) return silence.statut;
    t->silence = std::move(silence.valeur);
    if (t->agregat != 0) {
      if (const StatutAudio statut = brancherSilence(*t); statut != 0) {
        // Refus : la capture reste comme elle était.
        t->silence->retirer();
        t->silence.reset();
        return statut;
      }
    }
  } else {
    // Le flux de la sortie ordinaire n'a jamais cessé : il reprend le rappel sur-le-champ.
    if (t->fluxSilence) t->fluxSilence->installer(nullptr);
    t->fluxSilence.reset();
    if (t->demarre) t->flux->installer(t->rappel.get());
    t->silence->retirer();
    t->silence.reset();
  }
  t->description = description;
  return 0;
}

StatutAudio PlateformePulse::brancherSilence(Tap& t) {
  auto neuf = FluxCapturePulse::creer(contexte_, t.description.nom);
  if (neuf.statut != 0) return neuf.statut;
  if (const StatutAudio statut = neuf.valeur->connecter(t.silence->moniteur()); statut != 0) {
    return statut;
  }
  if (t.demarre) {
    // L'ancien se tait avant que le neuf parle : l'anneau ne reçoit jamais les deux mêlés.
    t.flux->installer(nullptr);
    neuf.valeur->installer(t.rappel.get());
    if (const StatutAudio statut = neuf.valeur->reprendre(); statut != 0) {
      neuf.valeur->installer(nullptr);
      t.flux->installer(t.rappel.get());
      return statut;
    }
  }
  t.fluxSilence = std::move(neuf.valeur);
  return 0;
}

}  // namespace ravlo
