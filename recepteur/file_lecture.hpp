// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/verrou.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {

/// File de lecture du récepteur, rangée par numéro de séquence : un casier par paquet, de
/// sorte qu'un paquet arrivé dans le désordre prend sa place et se joue tel quel. Le réseau
/// y place les paquets (`placer`) ; le rendu temps réel en tire des trames (`tirer`).
///
/// L'heure de jeu d'un casier est celle où la tête de lecture l'atteint :
/// - un paquet dont le casier est déjà joué (ou en cours) arrive trop tard : jeté, compté ;
/// - un casier vide quand la tête l'atteint et qu'un paquet plus récent est là est masqué :
///   la fin du casier d'avant s'éteint en 2,5 ms (`tramesFondu`), le casier se joue en
///   silence (allongé de ce que le pilote demande, `changerAllongement`), le suivant revient
///   en fondu ; la seule cassure qui reste est un paquet perdu ;
/// - rien de plus récent : masqué de même une fois (un paquet perdu que le suivant n'a pas
///   encore trahi) ; au casier suivant encore vide, la file est à sec (un trou), la tête
///   attend et la lecture se réamorce. Sans `rattraper` (un fichier), à sec tout de suite.
///
/// `amorce` est la réserve visée, en trames, de la tête de lecture à la fin du paquet le plus
/// récent. La lecture démarre quand la réserve l'atteint, l'excédent rogné, sur un paquet reçu.
/// Avec `rattraper`, une réserve de plus de 15 ms au-dessus de l'amorce (après un arrêt, une
/// rafale) est ramenée d'un coup à l'amorce : le son le plus ancien est sauté, en fondu enchaîné.
/// Sans (sortie fichier, qui n'a pas d'horloge), la file ne saute jamais rien.
///
/// Exemple : amorce 960 trames, casiers de 320 ; les paquets 10 à 14 arrivés, la lecture
/// démarre au début du 12 (réserve 1600 rognée à 960) ; le 16 arrive, pas le 15 : quand la
/// tête atteint le 15, il se joue en silence et le 16 suit en fondu.
///
/// Un verrou court, tenu seulement pour des copies bornées : `tirer` n'alloue rien.
/// `placer`, `changerAmorce`, `vider` : chemin de réception ; `tirer`, `peutRendre` : fil de
/// rendu ; `etat` : n'importe quel fil.
class FileLecture {
 public:
  /// 6,8 s de paquets de 320 trames ; les bornes du groupe en découlent.
  static constexpr std::int64_t casiers = MessageGroupe::casiersFile;
  static constexpr std::int64_t tramesMaxParCasier = PaquetAudio::tramesMax;
  static constexpr std::int64_t tramesFondu = 120;
  static constexpr double nsParTrame = 1e9 / 48'000.0;
  static constexpr std::int64_t seuilRattrapageTrames = 15 * 48;
  /// De quoi trouver la phase d'un son de 250 Hz et plus.
  static constexpr std::int64_t ecartPhaseMax = 96;

  enum class Sort : std::uint8_t { place, tardif, doublon, invalide };

  /// Ce qu'est devenu un paquet. `avanceTrames` : trames entre la tête de lecture et le début
  /// du paquet au moment de son arrivée (négatif : son heure de jeu était passée).
  struct Placement {
    Sort sort = Sort::invalide;
    std::int64_t avanceTrames = 0;
    bool reordonne = false;  ///< placé derrière un paquet plus récent
    bool enLecture = false;  ///< la tête avançait : l'avance a un sens
    bool apresTrou = false;  ///< arrivé quand la file s'était tarie
    bool operator==(const Placement&) const = default;
  };

  /// Rendu daté : relie l'horloge de l'émetteur à l'horloge de sortie locale.
  struct Rendu {
    InstantNs heureNs = 0;    ///< heure hôte du rendu, donnée par le rappel
    InstantNs captureNs = 0;  ///< heure de capture (émetteur) de sa première trame
    bool operator==(const Rendu&) const = default;
  };

  struct Etat {
    std::int64_t reserveTrames = 0;  ///< de la tête à la fin du paquet le plus récent
    std::int64_t amorceTrames = 0;
    bool enLecture = false;
    bool commencee = false;
    std::int64_t trous = 0;  ///< file à sec en pleine lecture
    std::int64_t masques = 0;
    std::int64_t places = 0;
    std::int64_t tardifs = 0;
    std::int64_t doublons = 0;
    std::int64_t reordonnes = 0;
    std::int64_t rattrapages = 0;
    std::int64_t tramesSautees = 0;  ///< rognées à l'amorçage ou sautées en rattrapage
    std::int64_t recalages = 0;      ///< décalages demandés et faits
    std::optional<Rendu> dernierRendu;
    /// Rendus datés de nouveau après un ou plusieurs sans heure : la sortie a perdu son
    /// heure (un trou du serveur, une nouvelle latence) et a pu glisser d'autant.
    std::int64_t reprisesHeure = 0;
    std::optional<std::int64_t> blocTrames;  ///< taille médiane des derniers rendus demandés
    bool operator==(const Etat&) const = default;
  };

  FileLecture(std::int64_t amorce, bool rattraper);
  FileLecture(const FileLecture&) = delete;
  FileLecture& operator=(const FileLecture&) = delete;

  /// Range un paquet (PCM stéréo 16 bits, 1 à 320 trames entières) ; n'importe quel numéro :
  /// trop loin devant ou derrière la tête (plus de `casiers`), c'est un émetteur qui a
  /// recommencé, et la file repart de lui.
  Placement placer(std::uint32_t sequence, InstantNs captureNs, VueOctets pcm);

  /// Remplit `trames` trames de `gauche` et `droite` (bornées par leur taille) ; rend le
  /// nombre de trames tirées de paquets reçus, le reste est silence ou masquage. `heureNs` :
  /// l'heure hôte de ce rendu quand le rappel la connaît. `morceau` : une part d'un bloc
  /// plus grand, que `noterBloc` notera entier.
  TEMPS_REEL std::int64_t tirer(std::int64_t trames, std::span<float> gauche,
                                std::span<float> droite, std::optional<InstantNs> heureNs,
                                bool morceau = false);

  /// Vrai quand `tirer(trames)` ne masquerait rien et ne tarirait pas : la lecture attend
  /// encore son amorce, ou la file tient d'affilée `trames` + `tramesFondu` trames. Une sortie
  /// sans horloge s'en sert pour attendre le réseau plutôt que d'écrire un trou.
  TEMPS_REEL [[nodiscard]] bool peutRendre(std::int64_t trames) const;

  /// La taille des blocs que la sortie demande (la tête avance d'autant à la fois), quand le
  /// rendu tire par morceaux plus petits. Fil de rendu.
  ///
  /// L'état en donne la médiane des `blocsRetenus` derniers : après une sous-alimentation,
  /// PulseAudio redemande d'un coup tout son tampon (15 ms au lieu de 3) ; ce bloc-là, pris
  /// pour la taille des rendus, montait la cible d'autant, et avec elle le besoin du groupe.
  TEMPS_REEL void noterBloc(std::int64_t trames);
  static constexpr std::size_t blocsRetenus = 9;
  /// Ce dont les prochains masquages peuvent s'allonger, en trames (au plus un paquet
  /// chacun) : la réserve remonte vers la cible sans cassure de plus. Chemin de réception.
  void changerAllongement(std::int64_t trames);
  /// Prend effet au rendu suivant ; bornée à [0, casiers × 320].
  void changerAmorce(std::int64_t trames);
  /// En groupe : la trame capturée à c (horloge de l'émetteur) s'entend à c + `ecartNs`
  /// (horloge locale). Une lecture qui démarre ou se réamorce part alors de la trame due à
  /// l'heure du rendu, plutôt que de l'amorce, qui la laissait à un bloc ou un paquet près
  /// jusqu'au réalignement ; en retard sur tout ce qui est reçu, elle part de l'amorce.
  /// Rien : l'amorce seule. Chemin de réception.
  void changerDepartALHeure(std::optional<std::int64_t> ecartNs);
  /// Décale la lecture au rendu suivant : `trames` > 0 saute autant de son (pas plus que la
  /// file n'en tient au-delà d'un paquet), en fondu enchaîné ; < 0 retient la tête autant de
  /// trames (au moins `tramesFondu`), le son s'éteignant puis revenant en fondu. Sans effet si
  /// la lecture ne joue pas un paquet reçu à ce moment-là, et sans `rattraper` (un fichier).
  /// `enPhase` : un saut peut s'écarter de ±2 ms (`ecartPhaseMax`) pour tomber là où le son
  /// ressemble le plus à celui qu'il quitte. Sans quoi deux morceaux d'un son tenu en
  /// opposition de phase s'annulent au milieu du fondu : un creux de 2,5 ms dans une note.
  /// Chemin de réception.
  void decaler(std::int64_t trames, bool enPhase = false);
  /// Moyenne, depuis l'appel précédent, de l'heure de chaque rendu daté moins l'heure de
  /// capture de sa première trame (horloge locale moins horloge de l'émetteur), ns.
  [[nodiscard]] std::optional<double> prendreEcartRendus();
  /// Oublie tout : un nouvel émetteur.
  void vider();
  [[nodiscard]] Etat etat() const;

 private:
  struct Casier {
    std::uint32_t sequence = 0;
    bool present = false;
    std::int64_t trames = 0;
    InstantNs captureNs = 0;
    std::array<float, tramesMaxParCasier> gauche{};
    std::array<float, tramesMaxParCasier> droite{};
  };

  struct Position {
    std::uint32_t casier = 0;
    std::int64_t decalage = 0;
  };

  Casier& casier(std::uint32_t sequence) const EXIGE(verrou_);
  [[nodiscard]] bool presentLa(std::uint32_t sequence) const EXIGE(verrou_);
  [[nodiscard]] std::int64_t reserve() const EXIGE(verrou_);
  /// La tête avancée de `trames`.
  [[nodiscard]] Position apres(std::int64_t trames) const EXIGE(verrou_);
  /// Trames reçues d'affilée depuis `depuis`, comptées jusqu'à `jusqua` au moins.
  [[nodiscard]] std::int64_t contigu(Position depuis, std::int64_t jusqua) const EXIGE(verrou_);
  /// L'excédent à rogner quand la lecture peut démarrer.
  [[nodiscard]] std::optional<std::int64_t> amorceAtteinte() const EXIGE(verrou_);
  /// Le même, à l'heure du rendu quand le départ se fait à l'heure ; rien : attendre.
  [[nodiscard]] std::optional<std::int64_t> departAtteint(std::optional<InstantNs> heureNs) const
      EXIGE(verrou_);
  void repartir(std::uint32_t sequence) EXIGE(verrou_);
  void avancer(std::int64_t trames, bool enchainer) EXIGE(verrou_);
  void noterTaille(std::int64_t trames) EXIGE(verrou_);
  void passerAuSuivant() EXIGE(verrou_);
  /// Copie en `dest` (entrelacé) jusqu'à taille ÷ 2 trames reçues d'affilée à partir de la
  /// tête avancée de `trames` ; rend le nombre copié. `copier(0, fondu_)` : ce qui suivrait
  /// la tête, pour l'éteindre en fondu.
  std::int64_t copier(std::int64_t trames, std::span<float> dest) const EXIGE(verrou_);
  /// Le saut de `saut` trames (au plus `plafond`) décalé de ±`ecartPhaseMax` vers la
  /// meilleure ressemblance de ce qui suivrait la tête.
  [[nodiscard]] std::int64_t sautEnPhase(std::int64_t saut, std::int64_t plafond) const
      EXIGE(verrou_);
  void appliquerDecalage() EXIGE(verrou_);

  const std::unique_ptr<Casier[]> casiers_;
  const bool rattraper_;
  mutable Verrou verrou_;
  std::int64_t amorce_ GARDE_PAR(verrou_) = 0;
  std::optional<std::int64_t> ecartDepartNs_ GARDE_PAR(verrou_);
  std::int64_t allongement_ GARDE_PAR(verrou_) = 0;
  bool initialisee_ GARDE_PAR(verrou_) = false;
  std::uint32_t tete_ GARDE_PAR(verrou_) = 0;     ///< le casier en lecture
  std::int64_t decalage_ GARDE_PAR(verrou_) = 0;  ///< trames déjà jouées de ce casier
  std::uint32_t recente_ GARDE_PAR(verrou_) = 0;  ///< le plus récent placé
  std::int64_t tramesPaquet_ GARDE_PAR(verrou_) = tramesMaxParCasier;
  bool masque_ GARDE_PAR(verrou_) = false;              ///< la tête joue un casier vide
  bool masqueSansSuite_ GARDE_PAR(verrou_) = false;     ///< ... sans paquet plus récent
  bool heurePerdue_ GARDE_PAR(verrou_) = false;         ///< le dernier rendu était sans heure
  std::int64_t silenceRestant_ GARDE_PAR(verrou_) = 0;  ///< allongement de ce masquage
  bool finDecidee_ GARDE_PAR(verrou_) = false;
  bool finEteinte_ GARDE_PAR(verrou_) = false;
  std::array<float, 2 * tramesFondu> fondu_ GARDE_PAR(verrou_){};  ///< ce qui s'éteint
  std::int64_t fonduRestant_ GARDE_PAR(verrou_) = 0;
  std::int64_t decalageDemande_ GARDE_PAR(verrou_) = 0;
  bool decalageEnPhase_ GARDE_PAR(verrou_) = false;
  bool retenue_ GARDE_PAR(verrou_) = false;  ///< le silence en cours retient la tête
  std::optional<std::int64_t> ecartReference_ GARDE_PAR(verrou_);
  std::int64_t ecartSomme_ GARDE_PAR(verrou_) = 0;
  std::int64_t ecartNombre_ GARDE_PAR(verrou_) = 0;
  bool enLecture_ GARDE_PAR(verrou_) = false;
  bool commencee_ GARDE_PAR(verrou_) = false;
  Etat compte_ GARDE_PAR(verrou_);
  std::array<std::int64_t, blocsRetenus> blocs_ GARDE_PAR(verrou_){};
  std::size_t blocsNotes_ GARDE_PAR(verrou_) = 0;
};

}  // namespace ravlo
