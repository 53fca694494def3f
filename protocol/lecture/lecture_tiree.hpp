#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "protocol/audio/tampon_audio.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// File de gigue et source de rendu du récepteur. Le réseau y pousse le PCM stéréo 16 bits
/// de chaque paquet accepté avec l'heure de capture de sa première trame ; le rappel de rendu
/// temps réel en tire exactement le nombre de trames qu'il lui faut, en deux voies flottantes,
/// et reçoit toujours un bloc plein : du son quand il y en a assez, du silence sinon.
///
/// La profondeur d'amorce `amorce` règle la latence : la lecture attend d'avoir `amorce`
/// trames, rogne l'excédent au démarrage pour n'en garder que `amorce` après ce premier
/// rendu, et retourne à l'amorçage sur tout bloc incomplet (un trou). Le premier réamorçage
/// après un trou ouvre un rattrapage de 144 000 trames (3 s) pendant lequel, toutes les
/// 24 000 trames, un excédent sur `amorce` + bloc d'au moins 1921 trames (plus de 40 ms) est
/// jeté : la latence ne grimpe pas après un trou.
///
/// Exemple : `amorce` 4800 et 10 000 trames en file ; un rendu de 512 en jette 4688, en
/// rend 512 et en laisse 4800.
///
/// Trois sortes d'appelants : le fil de rendu temps réel (`tirer`), le chemin de réception
/// réseau (`pousser`), et le code de pilotage ou de diagnostic (tout le reste). Deux verrous
/// courts, jamais tenus ensemble : celui de la file et `verrou_`. `tirer` n'alloue rien.
class LectureTiree {
 public:
  /// Rendu daté : relie l'horloge de l'émetteur à l'horloge de sortie locale.
  struct Rendu {
    InstantNs heureNs = 0;    ///< heure hôte du rendu, donnée par le rappel
    InstantNs captureNs = 0;  ///< heure de capture (émetteur) de sa première trame rendue
    bool operator==(const Rendu&) const = default;
  };

  /// Instantané pour le pilote et le diagnostic.
  struct Etat {
    std::int64_t disponibleTrames = 0;
    bool enLecture = false;
    bool commencee = false;  ///< a déjà joué au moins une fois
    std::int64_t tramesDeSilence = 0;
    std::int64_t trous = 0;
    std::int64_t tramesJetees = 0;
    std::int64_t rendus = 0;
    std::optional<Rendu> dernierRendu;
    std::optional<std::int64_t> blocTrames;  ///< taille de rendu récente
    bool operator==(const Etat&) const = default;
  };

  static constexpr std::int64_t tramesMaxParRendu = 8192;
  static constexpr std::int64_t periodeRattrapageTrames = 144'000;
  static constexpr std::int64_t intervalleControleTrames = 24'000;
  static constexpr std::int64_t excesMinimalTrames = 1921;
  static constexpr std::int64_t rendusAvantDeclin = 256;

  /// File de `trames` trames (4 × `trames` octets), profondeur d'amorce `amorce`.
  /// 1 ≤ `trames` et 4 × `trames` tient sur 64 bits.
  LectureTiree(std::int64_t trames, std::int64_t amorce);
  LectureTiree(const LectureTiree&) = delete;
  LectureTiree& operator=(const LectureTiree&) = delete;

  [[nodiscard]] std::int64_t amorce() const;
  /// Prend effet au rendu suivant. Une valeur négative vaut 0.
  void changerAmorce(std::int64_t trames);

  /// Écriture tout-ou-rien d'un bloc de PCM avec l'heure de capture de sa première trame ;
  /// faux quand la file n'a pas la place (compté dans ses `perdus`). Un bloc qui n'est pas
  /// fait de trames entières est refusé : il décalerait tout le flux qui suit d'un demi-
  /// échantillon. Chemin de réception seul.
  bool pousser(VueOctets pcm, std::optional<InstantNs> captureNs);

  /// Remplit `trames` trames de `gauche` et `droite` (bornées par leur taille) et rend le
  /// nombre de trames de son réel ; le reste du bloc est du silence. `heureNs` : l'heure hôte
  /// de ce rendu quand le rappel la connaît. Fil de rendu seul ; n'alloue rien.
  TEMPS_REEL std::int64_t tirer(std::int64_t trames, std::span<float> gauche,
                                std::span<float> droite, std::optional<InstantNs> heureNs);

  /// Vrai quand un `tirer` de `trames` ne ferait pas de trou : la lecture attend encore son
  /// amorce (et rendrait du silence), ou la file tient `trames` trames. Une sortie sans
  /// horloge à suivre s'en sert pour attendre le réseau plutôt que d'écrire un trou. Fil de
  /// rendu ; n'alloue rien.
  [[nodiscard]] TEMPS_REEL bool peutRendre(std::int64_t trames) const;

  /// Jette toutes les trames en file et renvoie la lecture à l'amorçage, sans rattrapage.
  void vider();

  /// Valeur efficace linéaire du dernier bloc rendu.
  [[nodiscard]] float niveauDuBloc() const;

  [[nodiscard]] Etat etat() const;

 private:
  TamponAudio file_;
  /// Où un rendu copie ses trames avant conversion ; fil de rendu seul.
  const std::unique_ptr<std::int16_t[]> travail_;

  mutable Verrou verrou_;
  bool enLecture_ GARDE_PAR(verrou_) = false;
  bool aJoue_ GARDE_PAR(verrou_) = false;
  std::int64_t amorce_ GARDE_PAR(verrou_) = 0;
  std::int64_t tramesDeSilence_ GARDE_PAR(verrou_) = 0;
  std::int64_t trous_ GARDE_PAR(verrou_) = 0;
  std::int64_t tramesJetees_ GARDE_PAR(verrou_) = 0;
  std::int64_t rendus_ GARDE_PAR(verrou_) = 0;
  std::optional<Rendu> dernierRendu_ GARDE_PAR(verrou_);
  float niveauDuBloc_ GARDE_PAR(verrou_) = 0;
  std::int64_t rattrapageRestant_ GARDE_PAR(verrou_) = 0;
  std::int64_t avantControle_ GARDE_PAR(verrou_) = 0;
  bool trouNonRepris_ GARDE_PAR(verrou_) = false;
  std::optional<std::int64_t> blocRecent_ GARDE_PAR(verrou_);
  std::int64_t rendusPlusPetits_ GARDE_PAR(verrou_) = 0;
};

}  // namespace ravlo
