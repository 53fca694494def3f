#include "link/plateforme/pulseaudio/silence_pulse.hpp"

#include <pulse/error.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <utility>

#include "link/plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {
namespace {

// Sorties nulles vivantes de ce programme : même sans fichier d'état, elles ne sont pas
// des restes.
std::mutex verrouVivants;
std::set<std::string> vivantsIci;

void noterVivant(const std::string& puits, bool vivant) {
  std::lock_guard garde(verrouVivants);
  if (vivant) {
    vivantsIci.insert(puits);
  } else {
    vivantsIci.erase(puits);
  }
}

bool vivantIci(const std::string& puits) {
  std::lock_guard garde(verrouVivants);
  return vivantsIci.contains(puits);
}

// La description passe entre guillemets dans les arguments du module.
std::string descriptionSure(const std::string& description) {
  std::string sure;
  for (const char c : description) {
    if (c != '"' && c != '\'' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) sure += c;
  }
  return sure.empty() ? "Ravlo Link" : sure;
}

const PuitsPulse* chercher(const std::vector<PuitsPulse>& liste, const std::string& nom) {
  const auto it =
      std::find_if(liste.begin(), liste.end(), [&](const PuitsPulse& p) { return p.nom == nom; });
  return it == liste.end() ? nullptr : &*it;
}

// Renvoie chaque flux déplacé qui joue encore chez nous vers sa sortie d'origine, puis rend
// la sortie par défaut d'avant si c'est encore la nôtre ; ce que l'utilisateur a changé
// entre-temps est laissé tel quel. Dans cet ordre : un flux déplacé vers la sortie par défaut
// la suit, il faut donc le renvoyer avant qu'elle change.
void restaurer(ContextePulse& c, const std::string& puits, const EtatSilence& etat) {
  const auto liste = requetesPulse::listePuits(c);
  if (liste.statut != 0) return;
  const PuitsPulse* notre = chercher(liste.valeur, puits);
  if (notre == nullptr) return;
  const auto entrees = requetesPulse::listeEntrees(c);
  for (const EtatSilence::Deplacement& d : etat.deplaces) {
    const bool chezNous = std::any_of(
        entrees.valeur.begin(), entrees.valeur.end(),
        [&](const EntreePulse& e) { return e.index == d.entree && e.puits == notre->index; });
    // Ceux qui jouaient sur l'ancienne sortie par défaut la suivront seuls.
    if (chezNous && d.puits != etat.puitsPrecedent && chercher(liste.valeur, d.puits) != nullptr) {
      requetesPulse::deplacerEntree(c, d.entree, d.puits);
    }
  }
  const auto defaut = requetesPulse::nomPuitsParDefaut(c);
  if (defaut.statut == 0 && defaut.valeur == puits &&
      chercher(liste.valeur, etat.puitsPrecedent) != nullptr) {
    requetesPulse::choisirPuitsParDefaut(c, etat.puitsPrecedent);
  }
}

}  // namespace

SilencePulse::SilencePulse(ContextePulse& contexte, std::string puits, std::uint32_t module,
                           std::optional<FichierEtatSilence> fichier)
    : contexte_(contexte), puits_(std::move(puits)), module_(module), fichier_(std::move(fichier)) {
  noterVivant(puits_, true);
}

ResultatAudio<std::unique_ptr<SilencePulse>> SilencePulse::installer(
    ContextePulse& c, const std::string& repertoireEtat, const std::string& description) {
  static std::atomic<unsigned> numero{0};
  const auto precedent = requetesPulse::nomPuitsParDefaut(c);
  if (precedent.statut != 0) return {precedent.statut, nullptr};

  const std::string puits = prefixe + std::to_string(::getpid()) + "-" + std::to_string(++numero);
  // L'état est écrit avant que le module existe : un programme tué à tout moment après
  // laisse de quoi tout défaire.
  auto fichier = FichierEtatSilence::creer(repertoireEtat, puits);
  EtatSilence etat{precedent.valeur, {}};
  if (fichier) fichier->ecrire(etat);

  const auto module = requetesPulse::chargerModule(
      c, "module-null-sink",
      "sink_name=" + puits + " sink_properties='device.description=\"" +
          descriptionSure(description) + "\"' format=float32le rate=48000 channels=2");
  if (module.statut != 0) {
    if (fichier) fichier->supprimer();
    return {module.statut, nullptr};
  }
  std::unique_ptr<SilencePulse> silence(
      new SilencePulse(c, puits, module.valeur, std::move(fichier)));
  silence->etat_ = etat;

  const auto liste = requetesPulse::listePuits(c);
  const PuitsPulse* notre = liste.statut == 0 ? chercher(liste.valeur, puits) : nullptr;
  StatutAudio statut = liste.statut != 0 ? liste.statut : 0;
  if (statut == 0 && notre == nullptr) statut = PA_ERR_NOENTITY;
  if (statut == 0) statut = requetesPulse::choisirPuitsParDefaut(c, puits);
  if (statut != 0) {
    silence->retirer();
    return {statut, nullptr};
  }
  silence->moniteur_ = notre->moniteur;

  // Les flux qui suivaient la sortie par défaut sont venus seuls et en repartiront seuls ;
  // on amène ceux qui jouaient ailleurs, et on note d'où ils viennent.
  const auto entrees = requetesPulse::listeEntrees(c);
  for (const EntreePulse& e : entrees.valeur) {
    if (e.puits == notre->index) continue;
    const auto origine = std::find_if(liste.valeur.begin(), liste.valeur.end(),
                                      [&](const PuitsPulse& p) { return p.index == e.puits; });
    if (origine == liste.valeur.end()) continue;
    if (requetesPulse::deplacerEntree(c, e.index, puits) == 0) {
      silence->etat_.deplaces.push_back({e.index, origine->nom});
    }
  }
  if (silence->fichier_) silence->fichier_->ecrire(silence->etat_);
  return {0, std::move(silence)};
}

void SilencePulse::retirer() {
  if (retire_) return;
  retire_ = true;
  restaurer(contexte_, puits_, etat_);
  requetesPulse::dechargerModule(contexte_, module_);
  if (fichier_) fichier_->supprimer();
  noterVivant(puits_, false);
}

void SilencePulse::nettoyerRestes(ContextePulse& c, const std::string& repertoireEtat) {
  RestesSilence restes = RestesSilence::chercher(repertoireEtat);
  const auto liste = requetesPulse::listePuits(c);
  if (liste.statut != 0) return;
  std::set<std::string> connus(restes.vivants.begin(), restes.vivants.end());
  for (FichierEtatSilence& fichier : restes.morts) {
    connus.insert(fichier.puits());
    if (vivantIci(fichier.puits())) continue;
    if (const PuitsPulse* reste = chercher(liste.valeur, fichier.puits())) {
      if (const auto etat = fichier.lire()) restaurer(c, fichier.puits(), *etat);
      requetesPulse::dechargerModule(c, reste->module);
    }
    fichier.supprimer();
  }
  for (const PuitsPulse& p : liste.valeur) {
    if (!p.nom.starts_with(prefixe) || connus.contains(p.nom) || vivantIci(p.nom)) continue;
    requetesPulse::dechargerModule(c, p.module);
  }
}

}  // namespace ravlo
