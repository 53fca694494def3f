// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/silence_pulse.hpp"

#include <pulse/error.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

#include "plateforme/pulseaudio/requetes_pulse.hpp"
#include "protocol/audio/format_flux.hpp"

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

// `ravlo_link-<pid>-<n>` d'un programme encore en vie : un autre répertoire d'état que le
// nôtre (autre session, essai) ne fait pas de sa sortie un reste.
bool programmeVivant(const std::string& puits) {
  const std::string_view reste = std::string_view(puits).substr(std::strlen(SilencePulse::prefixe));
  pid_t pid = 0;
  const auto [fin, erreur] = std::from_chars(reste.data(), reste.data() + reste.size(), pid);
  if (erreur != std::errc{} || fin == reste.data() || pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
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

// Le nom de la sortie où joue chaque flux de lecture.
std::map<std::uint32_t, std::string> sortiesDesFlux(ContextePulse& c) {
  std::map<std::uint32_t, std::string> sorties;
  const auto liste = requetesPulse::listePuits(c);
  const auto entrees = requetesPulse::listeEntrees(c);
  for (const EntreePulse& e : entrees.valeur) {
    for (const PuitsPulse& p : liste.valeur) {
      if (p.index == e.puits) sorties[e.index] = p.nom;
    }
  }
  return sorties;
}

/// Pas de 20 ms : 1 s au plus pour que PipeWire ait tout remis en place.
constexpr int essaisMiseEnPlace = 50;

// Défait un silence. Chaque flux encore chez nous repart vers sa sortie d'origine s'il en
// avait une à lui, sinon vers l'ancienne sortie par défaut, qui redevient la sortie par
// défaut si c'est encore la nôtre ; puis le module est déchargé. Ce que l'utilisateur a
// changé entre-temps (un flux déplacé ailleurs, une autre sortie par défaut) reste tel quel.
// Les flux attachés à une autre sortie partent avant le changement de sortie par défaut
// (sinon, ayant été déplacés vers la sortie par défaut, ils la suivraient), les autres après.
// Vrai quand il n'en reste rien (sortie déjà partie, ou module déchargé).
bool defaire(ContextePulse& c, const std::string& puits, const EtatSilence& etat,
             std::uint32_t module) {
  const auto liste = requetesPulse::listePuits(c);
  if (liste.statut != 0) return false;
  const PuitsPulse* notre = chercher(liste.valeur, puits);
  if (notre == nullptr) return true;
  const std::string precedent =
      chercher(liste.valeur, etat.puitsPrecedent) != nullptr ? etat.puitsPrecedent : "";
  std::map<std::uint32_t, std::string> renvois;
  for (const EntreePulse& e : requetesPulse::listeEntrees(c).valeur) {
    if (e.puits != notre->index) continue;
    std::string cible = precedent;
    for (const EtatSilence::Deplacement& d : etat.deplaces) {
      if (d.entree == e.index && chercher(liste.valeur, d.puits) != nullptr) cible = d.puits;
    }
    if (!cible.empty()) renvois[e.index] = cible;
  }
  for (const auto& [entree, cible] : renvois) {
    if (cible != precedent) requetesPulse::deplacerEntree(c, entree, cible);
  }
  if (!precedent.empty()) {
    const auto defaut = requetesPulse::nomPuitsParDefaut(c);
    if (defaut.statut == 0 && defaut.valeur == puits) {
      requetesPulse::choisirPuitsParDefaut(c, precedent);
    }
  }
  for (const auto& [entree, cible] : renvois) {
    if (cible == precedent) requetesPulse::deplacerEntree(c, entree, cible);
  }
  const bool decharge = requetesPulse::dechargerModule(c, module) == 0;
  // PipeWire route en différé, et à sa façon quand une sortie disparaît : on vérifie, et on
  // renvoie ce qui n'est pas arrivé. Sa sortie par défaut, elle, nomme encore un moment la
  // sortie déchargée (un tiers des fois ici, 20 ms) : qui la lirait juste après ne trouverait
  // rien. PulseAudio a déjà tout fait.
  for (int essai = 0; essai < essaisMiseEnPlace; ++essai) {
    const auto sorties = sortiesDesFlux(c);
    const auto defaut = requetesPulse::nomPuitsParDefaut(c);
    bool enPlace = !decharge || defaut.statut != 0 || defaut.valeur != puits;
    for (const auto& [entree, cible] : renvois) {
      const auto it = sorties.find(entree);
      if (it == sorties.end() || it->second == cible) continue;
      enPlace = false;
      requetesPulse::deplacerEntree(c, entree, cible);
    }
    if (enPlace) break;
    c.patienter(std::chrono::milliseconds(20));
  }
  return decharge;
}

}  // namespace

SilencePulse::SilencePulse(ContextePulse& contexte, std::string puits, std::uint32_t module,
                           std::optional<FichierEtatSilence> fichier)
    : contexte_(contexte), puits_(std::move(puits)), module_(module), fichier_(std::move(fichier)) {
  noterVivant(puits_, true);
}

ResultatPulse<std::unique_ptr<SilencePulse>> SilencePulse::installer(
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
          descriptionSure(description) + "\"' format=float32le rate=" +
          std::to_string(flux::tramesParSeconde) + " channels=" + std::to_string(flux::canaux));
  if (module.statut != 0) {
    if (fichier) fichier->supprimer();
    return {module.statut, nullptr};
  }
  std::unique_ptr<SilencePulse> silence(
      new SilencePulse(c, puits, module.valeur, std::move(fichier)));
  silence->etat_ = etat;

  const auto liste = requetesPulse::listePuits(c);
  const PuitsPulse* notre = liste.statut == 0 ? chercher(liste.valeur, puits) : nullptr;
  StatutPulse statut = liste.statut != 0 ? liste.statut : 0;
  if (statut == 0 && notre == nullptr) statut = PA_ERR_NOENTITY;
  if (statut == 0) statut = requetesPulse::choisirPuitsParDefaut(c, puits);
  if (statut != 0) {
    silence->retirer();
    return {statut, nullptr};
  }
  silence->moniteur_ = notre->moniteur;

  silence->amenerLesFlux(liste.valeur, notre->index);
  return {0, std::move(silence)};
}

void SilencePulse::amenerLesFlux(const std::vector<PuitsPulse>& liste, std::uint32_t notre) {
  // Les flux qui suivaient la sortie par défaut sont venus seuls et en repartiront seuls ;
  // on amène ceux qui restaient attachés à la sortie que la capture entendait, et on note
  // d'où ils viennent. Un flux qui joue sur une autre sortie (un récepteur sur cette
  // machine) n'était pas capté : le déplacer le ferait passer dans la capture, en boucle.
  bool change = false;
  for (const EntreePulse& e : requetesPulse::listeEntrees(contexte_).valeur) {
    if (e.puits == notre) continue;
    const auto origine = std::find_if(liste.begin(), liste.end(),
                                      [&](const PuitsPulse& p) { return p.index == e.puits; });
    if (origine == liste.end() || origine->nom != etat_.puitsPrecedent) continue;
    if (requetesPulse::deplacerEntree(contexte_, e.index, puits_) == 0) {
      std::erase_if(etat_.deplaces, [&](const auto& d) { return d.entree == e.index; });
      etat_.deplaces.push_back({e.index, origine->nom});
      change = true;
    }
  }
  if (fichier_ && change) fichier_->ecrire(etat_);
}

bool SilencePulse::suivre(const std::string& parDefaut) {
  if (retire_) return false;
  const auto liste = requetesPulse::listePuits(contexte_);
  const PuitsPulse* notre = liste.statut == 0 ? chercher(liste.valeur, puits_) : nullptr;
  if (notre == nullptr) return false;
  if (parDefaut != puits_) {
    etat_.puitsPrecedent = parDefaut;
    if (fichier_) fichier_->ecrire(etat_);
    if (requetesPulse::choisirPuitsParDefaut(contexte_, puits_) != 0) return false;
  }
  amenerLesFlux(liste.valeur, notre->index);
  return true;
}

void SilencePulse::retirer() {
  if (retire_) return;
  retire_ = true;
  // Lien tombé ou module resté : le fichier d'état reste aussi, lâché, pour que le prochain
  // démarrage finisse le travail.
  const bool fait = contexte_.relier() == 0 && defaire(contexte_, puits_, etat_, module_);
  if (fichier_ && fait) fichier_->supprimer();
  fichier_.reset();
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
    const PuitsPulse* reste = chercher(liste.valeur, fichier.puits());
    if (reste == nullptr ||
        defaire(c, fichier.puits(), fichier.lire().value_or(EtatSilence{}), reste->module)) {
      fichier.supprimer();
    }
  }
  for (const PuitsPulse& p : liste.valeur) {
    if (!p.nom.starts_with(prefixe) || connus.contains(p.nom) || vivantIci(p.nom) ||
        programmeVivant(p.nom))
      continue;
    defaire(c, p.nom, EtatSilence{}, p.module);
  }
}

void SilencePulse::rendreLeSonLaisse(const std::string& repertoireEtat) {
  ContextePulse contexte("Ravlo Link");
  const VerrouBoucle verrou(contexte);
  if (contexte.relier() == 0) nettoyerRestes(contexte, repertoireEtat);
}

}  // namespace ravlo
