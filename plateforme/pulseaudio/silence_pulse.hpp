// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/etat_silence.hpp"
#include "plateforme/pulseaudio/fichier_etat_silence.hpp"
#include "plateforme/pulseaudio/requetes_pulse.hpp"

namespace ravlo {

/// Fait taire l'ordinateur sans faire taire la capture. Couper le son d'une sortie coupe
/// aussi son moniteur ; on crée donc une sortie nulle privée (« Ravlo Link »), on en fait la
/// sortie par défaut et on y déplace les flux qui jouaient sur la sortie captée : ses
/// haut-parleurs ne reçoivent plus rien, le moniteur de la sortie nulle reçoit tout ce que la
/// capture entendait. Les flux des autres sorties restent où ils sont.
///
/// Un module chargé survit au programme qui l'a chargé : l'état nécessaire pour tout
/// remettre en place est tenu dans un fichier verrouillé (`FichierEtatSilence`), et
/// `nettoyerRestes` défait au démarrage suivant ce qu'un programme mort a laissé.
/// Boucle verrouillée pour tout appel.
class SilencePulse {
 public:
  /// Préfixe des sorties nulles que nous créons : `ravlo_link-<pid>-<n>`.
  static constexpr const char* prefixe = "ravlo_link-";

  /// Crée la sortie nulle décrite par `description`, en fait la sortie par défaut et y
  /// déplace les flux. Statut PulseAudio en cas d'échec, et alors rien ne reste.
  [[nodiscard]] static ResultatPulse<std::unique_ptr<SilencePulse>> installer(
      ContextePulse& contexte, const std::string& repertoireEtat, const std::string& description);

  SilencePulse(const SilencePulse&) = delete;
  SilencePulse& operator=(const SilencePulse&) = delete;
  /// Ne défait rien : `retirer()` le fait, explicitement, boucle verrouillée.
  ~SilencePulse() = default;

  /// À chaque changement du serveur. Si une autre sortie est devenue celle par défaut
  /// (casque branché…), elle devient celle à rendre à la fin et la nôtre redevient celle par
  /// défaut ; les flux que le bureau a déplacés ailleurs reviennent chez nous. Faux si notre
  /// sortie n'existe plus.
  bool suivre(const std::string& parDefaut);

  /// Rend la sortie par défaut d'avant, renvoie chaque flux déplacé (encore là) vers sa
  /// sortie d'origine, puis décharge le module. Plus rien ensuite.
  void retirer();

  [[nodiscard]] const std::string& puits() const { return puits_; }
  [[nodiscard]] const std::string& moniteur() const { return moniteur_; }
  [[nodiscard]] const std::string& puitsPrecedent() const { return etat_.puitsPrecedent; }

  /// Défait les silences laissés par des programmes morts, et décharge toute sortie nulle
  /// à notre préfixe dont aucun programme vivant ne tient le fichier d'état et dont le
  /// programme nommé par le pid est mort.
  static void nettoyerRestes(ContextePulse& contexte, const std::string& repertoireEtat);
  /// La même chose sur un lien à lui, pour un programme qui démarre : le son qu'un
  /// programme tué a laissé coupé revient sans attendre la prochaine capture. Sans serveur,
  /// rien.
  static void rendreLeSonLaisse(const std::string& repertoireEtat);

 private:
  SilencePulse(ContextePulse& contexte, std::string puits, std::uint32_t module,
               std::optional<FichierEtatSilence> fichier);
  /// Déplace chez nous les flux qui jouent ailleurs, note leur origine et l'écrit.
  void amenerLesFlux(const std::vector<PuitsPulse>& liste, std::uint32_t notre);

  ContextePulse& contexte_;
  std::string puits_;
  std::string moniteur_;
  std::uint32_t module_;
  EtatSilence etat_;
  std::optional<FichierEtatSilence> fichier_;
  bool retire_ = false;
};

}  // namespace ravlo
