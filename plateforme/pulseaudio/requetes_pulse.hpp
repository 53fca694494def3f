// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/statut_pulse.hpp"

namespace ravlo {

/// Une sortie (« sink ») du serveur.
struct PuitsPulse {
  std::uint32_t index = 0;
  std::string nom;
  std::string moniteur;  // la source qui porte ce que joue la sortie
  std::uint32_t module = 0;
};

/// Un flux de lecture (« sink input ») et la sortie où il joue.
struct EntreePulse {
  std::uint32_t index = 0;
  std::uint32_t puits = 0;
};

/// Requêtes au serveur, chacune attendue jusqu'à sa réponse. Boucle verrouillée ; statut 0
/// ou code d'erreur PulseAudio.
namespace requetesPulse {

ResultatPulse<std::string> nomPuitsParDefaut(ContextePulse& c);
/// Le nom que se donne le serveur (« pulseaudio », « PulseAudio (on PipeWire 0.3.65) »).
ResultatPulse<std::string> nomServeur(ContextePulse& c);
ResultatPulse<std::vector<PuitsPulse>> listePuits(ContextePulse& c);
/// PA_ERR_NOENTITY si aucune sortie ne porte ce nom.
ResultatPulse<PuitsPulse> puitsNomme(ContextePulse& c, const std::string& nom);
ResultatPulse<PuitsPulse> puitsNumero(ContextePulse& c, std::uint32_t index);
ResultatPulse<std::vector<EntreePulse>> listeEntrees(ContextePulse& c);
ResultatPulse<std::uint32_t> chargerModule(ContextePulse& c, const char* nom,
                                           const std::string& arguments);
StatutPulse dechargerModule(ContextePulse& c, std::uint32_t module);
StatutPulse choisirPuitsParDefaut(ContextePulse& c, const std::string& nom);
StatutPulse deplacerEntree(ContextePulse& c, std::uint32_t entree, const std::string& puits);
/// Sans attendre : la réponse range plus tard, sur le fil de la boucle, si la sortie `nom` est
/// coupée. `coupe` doit durer autant que le contexte.
void demanderCoupure(ContextePulse& c, const char* nom, std::atomic<bool>& coupe);

}  // namespace requetesPulse
}  // namespace ravlo
