// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/capture_pulse.hpp"

#include <pulse/error.h>
#include <pulse/subscribe.h>

#include <utility>

#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {
namespace {

std::unexpected<ErreurCapture> erreur(ErreurCapture::Cas cas, StatutPulse statut) {
  return std::unexpected(ErreurCapture{cas, statut});
}

}  // namespace

CapturePulse::CapturePulse(std::string repertoireEtat, FabriqueFluxCapture fabrique)
    : repertoireEtat_(std::move(repertoireEtat)),
      fabrique_(std::move(fabrique)),
      contexte_("Ravlo Link") {
  filSuivi_ = std::thread([this] { suivi(); });
}

CapturePulse::~CapturePulse() {
  {
    const std::lock_guard garde(verrouSuivi_);
    fin_ = true;
  }
  reveil_.notify_one();
  filSuivi_.join();
  const Garde garde(verrouEtat_, contexte_);
  if (abonne_ != nullptr && abonne_ == contexte_.contexte()) {
    pa_context_set_subscribe_callback(abonne_, nullptr, nullptr);
  }
  demolir();
}

std::expected<void, ErreurCapture> CapturePulse::demarrer(RappelCapture rappel,
                                                          bool ordinateurMuet) {
  using Cas = ErreurCapture::Cas;
  const Garde garde(verrouEtat_, contexte_);
  if (flux_) return erreur(Cas::fluxImpossible, PA_ERR_EXIST);  // une capture par objet
  if (const StatutPulse statut = contexte_.relier(); statut != 0) {
    return erreur(Cas::serveurInjoignable, statut);
  }
  // Avant de lire la sortie par défaut : un reste en a peut-être pris la place.
  SilencePulse::nettoyerRestes(contexte_, repertoireEtat_);
  const auto nom = requetesPulse::nomPuitsParDefaut(contexte_);
  if (nom.statut != 0) return erreur(Cas::sortieIntrouvable, nom.statut);
  const auto sortie = requetesPulse::puitsNomme(contexte_, nom.valeur);
  if (sortie.statut != 0) return erreur(Cas::sortieIntrouvable, sortie.statut);

  // Chaque échec défait ce qui précède : rien ne reste, silence compris.
  const auto echouer = [this](Cas cas, StatutPulse statut) {
    demolir();
    return erreur(cas, statut);
  };
  if (ordinateurMuet) {
    auto silence = SilencePulse::installer(contexte_, repertoireEtat_, nomFlux);
    if (silence.statut != 0) return echouer(Cas::silenceImpossible, silence.statut);
    silence_ = std::move(silence.valeur);
  }
  auto flux = fabrique_(contexte_, nomFlux);
  if (flux.statut != 0) return echouer(Cas::fluxImpossible, flux.statut);
  flux_ = std::move(flux.valeur);
  StatutPulse statut = flux_->connecter(sortie.valeur.moniteur);
  if (statut == 0 && silence_) statut = brancherSilence();
  if (statut != 0) return echouer(Cas::fluxImpossible, statut);

  rappel_ = std::make_unique<RappelCapture>(std::move(rappel));
  actif()->installer(rappel_.get());
  statut = flux_->reprendre();
  if (statut == 0 && fluxSilence_) statut = fluxSilence_->reprendre();
  if (statut != 0) return echouer(Cas::fluxImpossible, statut);
  demarree_ = true;
  abonner();
  // La sortie a pu changer entre sa lecture et l'abonnement.
  reveiller();
  return {};
}

std::expected<void, ErreurCapture> CapturePulse::changerSilence(bool ordinateurMuet) {
  using Cas = ErreurCapture::Cas;
  const Garde garde(verrouEtat_, contexte_);
  if (!demarree_ || ordinateurMuet == static_cast<bool>(silence_)) return {};
  if (const StatutPulse statut = contexte_.relier(); statut != 0) {
    return erreur(Cas::serveurInjoignable, statut);
  }
  if (ordinateurMuet) {
    auto silence = SilencePulse::installer(contexte_, repertoireEtat_, nomFlux);
    if (silence.statut != 0) return erreur(Cas::silenceImpossible, silence.statut);
    silence_ = std::move(silence.valeur);
    if (const StatutPulse statut = brancherSilence(); statut != 0) {
      // Refus : la capture reste comme elle était.
      silence_->retirer();
      silence_.reset();
      return erreur(Cas::fluxImpossible, statut);
    }
    return {};
  }
  // Le flux de la sortie ordinaire n'a jamais cessé : il reprend le rappel sur-le-champ.
  if (fluxSilence_) fluxSilence_->installer(nullptr);
  fluxSilence_.reset();
  flux_->installer(rappel_.get());
  silence_->retirer();
  silence_.reset();
  return {};
}

void CapturePulse::arreter() {
  const Garde garde(verrouEtat_, contexte_);
  demolir();
}

std::optional<ErreurCapture> CapturePulse::panne() const {
  const Garde garde(verrouEtat_, contexte_);
  if (!demarree_) return std::nullopt;
  const StatutPulse statut = actif()->echec();
  if (statut == 0) return std::nullopt;
  // Le lien au serveur rompu (serveur relancé) tue les flux comme une sortie retirée.
  const bool serveur = statut == PA_ERR_CONNECTIONTERMINATED || contexte_.contexte() == nullptr ||
                       pa_context_get_state(contexte_.contexte()) != PA_CONTEXT_READY;
  return ErreurCapture{
      serveur ? ErreurCapture::Cas::serveurInjoignable : ErreurCapture::Cas::sortiePerdue, statut};
}

FluxCapture* CapturePulse::actif() const {
  return fluxSilence_ ? fluxSilence_.get() : flux_.get();
}

void CapturePulse::demolir() {
  // Boucle verrouillée : aucun rappel ne tourne, et les flux défaits n'en lanceront plus.
  demarree_ = false;
  fluxSilence_.reset();
  flux_.reset();
  rappel_.reset();
  if (silence_) silence_->retirer();
  silence_.reset();
}

StatutPulse CapturePulse::brancherSilence() {
  auto neuf = fabrique_(contexte_, nomFlux);
  if (neuf.statut != 0) return neuf.statut;
  if (const StatutPulse statut = neuf.valeur->connecter(silence_->moniteur()); statut != 0) {
    return statut;
  }
  if (demarree_) {
    // L'ancien se tait avant que le neuf parle : l'anneau ne reçoit jamais les deux mêlés.
    flux_->installer(nullptr);
    neuf.valeur->installer(rappel_.get());
    if (const StatutPulse statut = neuf.valeur->reprendre(); statut != 0) {
      neuf.valeur->installer(nullptr);
      flux_->installer(rappel_.get());
      return statut;
    }
  }
  fluxSilence_ = std::move(neuf.valeur);
  return 0;
}

StatutPulse CapturePulse::rebrancher(std::unique_ptr<FluxCapture>& flux,
                                     const std::string& source) {
  const FluxCapture* ancien = flux.get();
  auto neuf = fabrique_(contexte_, nomFlux);
  if (neuf.statut != 0) return neuf.statut;
  if (const StatutPulse statut = neuf.valeur->connecter(source); statut != 0) return statut;
  // L'ancien se tait avant que le neuf parle : l'anneau ne reçoit jamais les deux mêlés.
  const bool porteRappel = actif() == ancien;
  if (porteRappel) {
    flux->installer(nullptr);
    neuf.valeur->installer(rappel_.get());
  }
  if (const StatutPulse statut = neuf.valeur->reprendre(); statut != 0) {
    neuf.valeur->installer(nullptr);
    if (porteRappel) flux->installer(rappel_.get());
    return statut;
  }
  flux = std::move(neuf.valeur);
  return 0;
}

void CapturePulse::abonner() {
  pa_context* c = contexte_.contexte();
  if (c == nullptr || c == abonne_) return;
  pa_context_set_subscribe_callback(c, &CapturePulse::rappelAbonnement, this);
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
void CapturePulse::rappelAbonnement(pa_context*, pa_subscription_event_type_t, std::uint32_t,
                                    void* moi) {
  static_cast<CapturePulse*>(moi)->reveiller();
}

void CapturePulse::reveiller() {
  {
    const std::lock_guard garde(verrouSuivi_);
    aSuivre_ = true;
  }
  reveil_.notify_one();
}

void CapturePulse::suivi() {
  for (;;) {
    {
      std::unique_lock garde(verrouSuivi_);
      reveil_.wait(garde, [this] { return aSuivre_ || fin_; });
      if (fin_) return;
      aSuivre_ = false;
    }
    const Garde garde(verrouEtat_, contexte_);
    suivre();
  }
}

void CapturePulse::suivre() {
  if (!demarree_ || contexte_.contexte() == nullptr ||
      pa_context_get_state(contexte_.contexte()) != PA_CONTEXT_READY) {
    return;
  }
  const auto defaut = requetesPulse::nomPuitsParDefaut(contexte_);
  if (defaut.statut != 0) return;
  std::string sortie = defaut.valeur;
  if (silence_) {
    // Notre sortie partie : le flux du silence, tué, le dit par `panne`.
    if (!silence_->suivre(defaut.valeur)) return;
    sortie = silence_->puitsPrecedent();
  }
  const auto puits = requetesPulse::puitsNomme(contexte_, sortie);
  if (puits.statut != 0) return;
  if (flux_->source() != puits.valeur.moniteur || flux_->echec() != 0) {
    rebrancher(flux_, puits.valeur.moniteur);
  }
}

}  // namespace ravlo
