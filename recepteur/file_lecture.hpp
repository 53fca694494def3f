// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "recepteur/anneau_spsc.hpp"
#include "recepteur/evenements_lecture.hpp"
#include "recepteur/publication.hpp"
#include "recepteur/recherche_phase.hpp"
#include "recepteur/releve_rendus.hpp"
#include "recepteur/tete_lecture.hpp"

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
/// Deux fils, sans verrou : le fil de rendu possède casiers et tête (`TeteLecture`). La
/// réception juge chaque paquet (tardif, doublon, à sa place) d'après la dernière position
/// que le rendu a publiée, puis le lui passe avec ses ordres (repartir, vider, décaler) par
/// un anneau d'un producteur à un consommateur, que le rendu vide au début de chaque
/// `tirer` ; amorce et départ à l'heure passent par des atomiques ; position, compteurs et
/// relevés reviennent par une publication (seqlock). L'anneau plein (un rendu arrêté plus de
/// 6,8 s) jette le paquet, compté (`nonPasses`) ; un ordre qui vide la file attend alors sa
/// place, avant tout paquet.
///
/// `placer`, `changer…`, `decaler`, `vider`, `etat`, `prendre…` : le chemin de réception
/// seul ; `tirer`, `peutRendre`, `noterBloc` : le fil de rendu seul ; ceux-là n'allouent ni
/// n'attendent rien.
class FileLecture {
 public:
  /// 6,8 s de paquets de 320 trames ; les bornes du groupe en découlent.
  static constexpr std::int64_t casiers = CasiersLecture::nombre;
  static constexpr std::int64_t tramesMaxParCasier = CasiersLecture::tramesMax;
  static constexpr std::int64_t tramesFondu = FonduEnchaine::trames;
  static constexpr double nsParTrame = 1e9 / static_cast<double>(flux::tramesParSeconde);
  static constexpr std::int64_t seuilRattrapageTrames = 15 * flux::tramesParSeconde / 1000;
  static constexpr std::int64_t ecartPhaseMax = ravlo::ecartPhaseMax;
  static constexpr std::size_t blocsRetenus = ReleveRendus::blocsRetenus;

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

  using Rendu = ReleveRendus::Rendu;

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
    std::int64_t nonPasses = 0;      ///< jetés, l'anneau vers le rendu plein
    std::optional<Rendu> dernierRendu;
    /// Rendus datés de nouveau après un ou plusieurs sans heure : la sortie a perdu son
    /// heure (un trou du serveur, une nouvelle latence) et a pu glisser d'autant.
    std::int64_t reprisesHeure = 0;
    std::optional<std::int64_t> blocTrames;  ///< taille médiane des derniers rendus demandés
    bool operator==(const Etat&) const = default;
  };

  /// Ce qu'a fait un `tirer` : les trames tirées de paquets reçus (le reste est silence ou
  /// masquage), et ce qui est arrivé à la lecture.
  struct Tirage {
    std::int64_t rendues = 0;
    Evenements evenements;
  };

  FileLecture(std::int64_t amorce, bool rattraper);
  FileLecture(const FileLecture&) = delete;
  FileLecture& operator=(const FileLecture&) = delete;

  /// Range un paquet (PCM stéréo 16 bits, 1 à 320 trames entières) ; n'importe quel numéro :
  /// trop loin devant ou derrière la tête (plus de `casiers`), c'est un émetteur qui a
  /// recommencé, et la file repart de lui.
  Placement placer(std::uint32_t sequence, InstantNs captureNs, VueOctets pcm);

  /// Remplit `trames` trames de `gauche` et `droite` (bornées par leur taille). `heureNs` :
  /// l'heure hôte de ce rendu quand le rappel la connaît. `morceau` : une part d'un bloc
  /// plus grand, que `noterBloc` notera entier.
  Tirage tirer(std::int64_t trames, std::span<float> gauche, std::span<float> droite,
               std::optional<InstantNs> heureNs, bool morceau = false);

  /// Vrai quand `tirer(trames)` ne masquerait rien et ne tarirait pas : la lecture attend
  /// encore son amorce, ou la file tient d'affilée `trames` + `tramesFondu` trames. Une sortie
  /// sans horloge s'en sert pour attendre le réseau plutôt que d'écrire un trou.
  [[nodiscard]] bool peutRendre(std::int64_t trames);

  /// La taille des blocs que la sortie demande (la tête avance d'autant à la fois), quand le
  /// rendu tire par morceaux plus petits ; l'état en donne la médiane (`ReleveRendus`).
  void noterBloc(std::int64_t trames);
  /// Ce dont les prochains masquages peuvent s'allonger, en trames (au plus un paquet
  /// chacun) : la réserve remonte vers la cible sans cassure de plus.
  void changerAllongement(std::int64_t trames);
  /// Prend effet au rendu suivant ; bornée à [0, casiers × 320].
  void changerAmorce(std::int64_t trames);
  /// En groupe : la trame capturée à c (horloge de l'émetteur) s'entend à c + `ecartNs`
  /// (horloge locale). Une lecture qui démarre ou se réamorce part alors de la trame due à
  /// l'heure du rendu, plutôt que de l'amorce, qui la laissait à un bloc ou un paquet près
  /// jusqu'au réalignement ; en retard sur tout ce qui est reçu, elle part de l'amorce.
  /// Rien : l'amorce seule.
  void changerDepartALHeure(std::optional<std::int64_t> ecartNs);
  /// Décale la lecture au rendu suivant : `trames` > 0 saute autant de son (pas plus que la
  /// file n'en tient au-delà d'un paquet), en fondu enchaîné ; < 0 retient la tête autant de
  /// trames (au moins `tramesFondu`), le son s'éteignant puis revenant en fondu. Un fondu en
  /// cours le fait attendre le rendu d'après ; une retenue se prend aussi pendant un masquage.
  /// Sans effet si la lecture ne joue pas un paquet reçu à ce moment-là, et sans `rattraper`
  /// (un fichier).
  /// `enPhase` : un saut peut s'écarter de ±2 ms (`sautEnPhase`) pour tomber là où le son
  /// ressemble le plus à celui qu'il quitte.
  void decaler(std::int64_t trames, bool enPhase = false);
  /// Moyenne, depuis l'appel précédent, de l'heure de chaque rendu daté moins l'heure de
  /// capture de sa première trame (horloge locale moins horloge de l'émetteur), ns.
  [[nodiscard]] std::optional<double> prendreEcartRendus();
  /// Ce qui est arrivé à la lecture depuis l'appel précédent.
  [[nodiscard]] Evenements prendreEvenements();
  /// Oublie tout : un nouvel émetteur.
  void vider();
  /// L'état d'une file neuve d'amorce `amorce`, sa mémoire gardée : ses 4 Mo ni réalloués ni
  /// remis à zéro. Touche aux deux fils : seulement quand aucun rendu ne tourne.
  void remettreANeuf(std::int64_t amorce);
  [[nodiscard]] Etat etat() const;

 private:
  /// Un paquet ou un ordre, de la réception au rendu.
  struct Entree {
    enum class Sorte : std::uint8_t { paquet, repartir, reculer, vider, decaler, allonger };
    Sorte sorte = Sorte::paquet;
    bool enPhase = false;
    std::uint32_t sequence = 0;
    std::int64_t valeur = 0;  ///< heure de capture, ou trames d'un décalage, d'un allongement
    std::int64_t trames = 0;
    std::array<std::int16_t, 2 * tramesMaxParCasier> pcm{};
  };
  /// Ce que le rendu publie après chaque rendu, et après chaque ordre appliqué.
  struct Instantane {
    std::uint32_t generation = 0;  ///< ordres de remise à zéro appliqués
    std::uint32_t tete = 0;
    std::int64_t decalage = 0;
    bool entamee = false;
    bool enLecture = false;
    bool commencee = false;
    TeteLecture::Compte compte;
    std::optional<Rendu> dernierRendu;
    std::optional<std::int64_t> blocTrames;
    std::int64_t reprisesHeure = 0;
    ReleveRendus::Ecarts ecarts;
  };
  /// La tête vue de la réception : publiée, ou supposée après un ordre pas encore appliqué.
  struct Vue {
    std::uint32_t tete = 0;
    std::int64_t decalage = 0;
    bool entamee = false;
    bool enLecture = false;
    bool commencee = false;
  };
  /// Les ordres qui vident la file, dans leur ordre, quand l'anneau n'avait plus de place.
  struct OrdresEnAttente {
    bool vider = false;
    std::optional<std::uint32_t> repartir;
    std::optional<std::uint32_t> reculer;
  };
  static constexpr std::int64_t sansDepart = std::numeric_limits<std::int64_t>::min();

  // Chemin de réception.
  [[nodiscard]] Vue vue(const Instantane& publie) const;
  void repartir(std::uint32_t sequence, bool commencee);
  /// Passe un ordre qui vide la file : jamais perdu, il attend au besoin sa place.
  void ordonnerRemise(Entree::Sorte sorte, std::uint32_t sequence);
  /// Les ordres en attente passés ; faux si l'anneau n'a plus de place.
  bool passerEnAttente();
  Entree* reserver();
  [[nodiscard]] bool envoye(std::uint32_t sequence) const;

  // Fil de rendu.
  void appliquerEntrees();
  void publier();

  const bool rattraper_;
  AnneauSpsc<Entree, static_cast<std::size_t>(casiers)> anneau_;
  std::atomic<std::int64_t> amorce_{0};
  std::atomic<std::int64_t> ecartDepartNs_{sansDepart};
  std::atomic<std::uint8_t> evenements_{0};
  Publication<Instantane> publie_;

  // Chemin de réception seul.
  std::optional<std::uint32_t> recente_;  ///< le plus récent placé ; rien : file vide
  std::int64_t tramesPaquet_ = tramesMaxParCasier;
  /// Numéro (bit 32 : présent) de ce que chaque casier a reçu depuis la dernière remise.
  std::unique_ptr<std::array<std::uint64_t, static_cast<std::size_t>(casiers)>> envoyes_;
  std::uint32_t generation_ = 0;  ///< ordres de remise passés au rendu
  Vue supposee_;
  OrdresEnAttente enAttente_;
  ReleveRendus::Ecarts ecartsPris_;
  std::int64_t places_ = 0, tardifs_ = 0, doublons_ = 0, reordonnes_ = 0, nonPasses_ = 0;

  // Fil de rendu seul.
  TeteLecture tete_;
  ReleveRendus releve_;
  std::uint32_t generationAppliquee_ = 0;
};

}  // namespace ravlo
