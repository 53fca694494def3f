#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plateforme/plateforme_audio.hpp"
#include "plateforme/pulseaudio/contexte_pulse.hpp"

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

ResultatAudio<std::string> nomPuitsParDefaut(ContextePulse& c);
ResultatAudio<std::vector<PuitsPulse>> listePuits(ContextePulse& c);
/// PA_ERR_NOENTITY si aucune sortie ne porte ce nom.
ResultatAudio<PuitsPulse> puitsNomme(ContextePulse& c, const std::string& nom);
ResultatAudio<PuitsPulse> puitsNumero(ContextePulse& c, std::uint32_t index);
ResultatAudio<std::vector<EntreePulse>> listeEntrees(ContextePulse& c);
ResultatAudio<std::uint32_t> chargerModule(ContextePulse& c, const char* nom,
                                           const std::string& arguments);
StatutAudio dechargerModule(ContextePulse& c, std::uint32_t module);
StatutAudio choisirPuitsParDefaut(ContextePulse& c, const std::string& nom);
StatutAudio deplacerEntree(ContextePulse& c, std::uint32_t entree, const std::string& puits);

}  // namespace requetesPulse
}  // namespace ravlo
