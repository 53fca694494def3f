// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/lecture/regulateur_vitesse.hpp"
#include "protocol/lecture/releve_reserve.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "recepteur/cible_adaptative.hpp"
#include "recepteur/file_lecture.hpp"

namespace ravlo {

/// Le côté réseau de la lecture : range chaque paquet dans la `FileLecture`, en apprend la
/// cible (`CibleAdaptative`) et règle la vitesse de lecture.
///
/// L'avance d'un paquet est le temps entre son arrivée et son heure de jeu, plus son retard :
/// l'avance qu'aurait eue le paquet le plus prompt, la même pour tous quel que soit l'ordre
/// d'arrivée. Sa moyenne sur chaque seconde, face à la cible, donne la vitesse
/// (`RegulateurVitesse`, ±1000 ppm), tenue à son terme intégral les 3 premières secondes de
/// lecture et 3 s après chaque trou ; ensuite, plus de 3 ms au-dessus de la cible se sautent
/// d'un coup, en fondu (`FileLecture::decaler`). L'amorce de la file est la cible plus un paquet,
/// la réserve qu'a la file quand arrive un paquet sans retard. Quand l'avance manque la cible de
/// plus de 2 ms, les masquages de la seconde qui suit s'allongent d'autant.
///
/// Exemple : cible 17 ms, paquets de 320 trames → amorce 17 × 48 + 320 = 1136 trames.
///
/// En groupe, l'heure de jeu est fixée par l'émetteur : la trame capturée à t (horloge de
/// l'émetteur) s'entend à t + la latence du groupe. La latence mesurée (rendu daté plus sortie,
/// ramené à l'horloge locale par l'échange d'heures) moins l'avance donne le retard fixe ; la
/// cible devient la latence du groupe moins ce retard (lissé ; un pas de plus de 3 ms, une
/// sortie qui a pris du retard, se prend d'un coup). Chaque seconde, l'écart entre latence
/// mesurée et latence du groupe règle la vitesse (gains plus forts que seul), ou, au-delà de
/// 3 ms (0,5 ms à la première mesure dans le groupe ou après un trou ; avant elle, 1 ms d'après
/// un seul rendu daté), se rattrape d'un coup par un recalage de la file ; la seconde suivante
/// n'en juge pas. Une latence du groupe qui descend d'au plus 8 ms se rejoint sans saut, en
/// jouant 500 ppm plus vite ; une montée, ou une descente plus grande, se saute. Le décalage
/// d'horloges vient de `SuiviDecalage`. Une heure de groupe qui demanderait à la file plus
/// qu'elle ne tient (`cibleMaxMs`) n'en fait pas un groupe : la pièce joue seule, sa vitesse
/// réglée sur sa propre cible, plutôt que de demander chaque seconde un saut impossible.
///
/// Chemin de réception seul.
class PiloteFile {
 public:
  static constexpr double tramesParMs = static_cast<double>(flux::tramesParSeconde) / 1000.0;
  /// Avant toute mesure : un paquet de retard, un bloc de 5 ms et la marge.
  static constexpr double cibleDepartMs = 14.0;
  static constexpr std::uint64_t attenteRegulationNs = 3'000'000'000;
  static constexpr double margeAllongementMs = 2.0;
  static constexpr std::uint64_t dureeGroupeNs = 3'000'000'000;
  /// En groupe, un écart à l'heure de jeu plus grand se rattrape d'un coup, en fondu.
  static constexpr double seuilRecalageMs = 3.0;
  /// Le seuil de la première mesure après l'entrée dans le groupe.
  static constexpr double seuilAlignementMs = 0.5;
  /// Avant la première mesure en groupe (l'entrée, un réamorçage), un seul rendu daté dit déjà
  /// l'écart à l'heure du groupe ; au-delà de ce seuil, il se saute sans attendre la mesure.
  static constexpr double seuilAlignementRenduMs = 1.0;
  /// En groupe : 1 ms d'écart se résorbe en quelques secondes, une dérive de 100 ppm en une
  /// quinzaine (amortissement 0,7 sur la mesure d'une seconde) ; plus fort, le bruit de
  /// l'échange d'heures sous gigue passerait dans la vitesse.
  /// En groupe, une latence qui descend d'au plus `descenteDouceMaxMs` se rejoint en jouant
  /// plus vite de `vitesseDescentePPM`, sans saut : 4 ms en 8 s. Chaque pièce part à
  /// l'arrivée de l'annonce et à son tic : quelques centaines de ms d'une pièce à l'autre,
  /// 0,1 ms d'écart au plus. Plus bas, le saut coûte moins que l'attente.
  static constexpr double vitesseDescentePPM = 500.0;
  static constexpr double descenteDouceMaxMs = 8.0;
  static constexpr double gainPGroupe = 200.0;
  static constexpr double gainIGroupe = 20.0;
  /// Seul : une file d'une dizaine de ms ne peut pas attendre des minutes qu'une dérive
  /// d'horloge s'apprenne (−300 ppm vidaient la file 90 fois par heure avec 40 et 0,04) ;
  /// amortissement 0,7, une quinzaine de secondes. Le groupe, plus vif, tient l'heure au
  /// dixième de ms ; seul, la vitesse suit moins la gigue.
  static constexpr double gainPSeul = 100.0;
  static constexpr double gainISeul = 5.0;
  /// Seul, une avance plus haute que la cible d'autant (un amorçage sur une rafale) se rejoint
  /// d'un coup, en fondu, plutôt qu'à 0,3 ms par seconde (le régulateur à 3 ms d'écart). Sous
  /// 10 ms de gigue simulée, ni 3 ni 5 ms ne changent le nombre de trous.
  static constexpr double seuilRattrapageSeulMs = 3.0;
  /// La plus grande cible que tient la file (ce qui n'est pas de la réserve ôté), ms.
  static constexpr double cibleMaxMs =
      static_cast<double>(MessageGroupe::fileNs - MessageGroupe::horsReserveNs) / 1e6;
  static constexpr std::int64_t amorceDepartTrames =
      static_cast<std::int64_t>(cibleDepartMs * tramesParMs) + FileLecture::tramesMaxParCasier;

  explicit PiloteFile(std::shared_ptr<FileLecture> file);

  /// Un paquet authentique arrivé à `maintenant`.
  FileLecture::Placement recevoir(const PaquetAudio& paquet, InstantNs maintenant);

  /// Le tic : cible, amorce, vitesse une fois par seconde d'avances relevées. `decalageNs` :
  /// horloge de l'émetteur moins horloge locale, quand l'échange d'heures la connaît.
  void piloter(InstantNs maintenant, std::optional<std::int64_t> decalageNs = std::nullopt);

  /// L'émetteur annonce la latence du groupe : de l'heure de capture au son entendu, ns.
  /// Le groupe dure tant qu'elle se répète, 3 s au plus sans elle.
  void rejoindreGroupe(std::uint64_t latenceNs, InstantNs maintenant);
  /// Ce qu'il faudrait à ce récepteur seul, de la capture au son entendu, ms : le retard fixe
  /// (transit le plus court et sortie) plus sa cible. Absent tant qu'il n'est pas mesuré.
  [[nodiscard]] std::optional<double> besoinMs() const;
  /// De la capture au son entendu, moyenne de la dernière seconde mesurée, ms.
  [[nodiscard]] std::optional<double> latenceMs() const { return latenceMs_; }
  /// La latence du groupe tant qu'il y en a un, ms.
  [[nodiscard]] std::optional<double> latenceGroupeMs() const;

  /// Tient la vitesse à son terme intégral 3 s (une reprise après une pause).
  void retarderRegulation(InstantNs maintenant);

  /// Un nouvel émetteur : tout se réapprend, la file est vidée.
  void reinitialiser();

  /// Pendant une descente douce, partie à un tic, `vitesseDescentePPM` de plus.
  [[nodiscard]] double vitessePPM() const {
    return vitessePPM_ + (descente_ && descente_->debutNs ? vitesseDescentePPM : 0);
  }
  [[nodiscard]] std::optional<double> cibleMs() const { return cibleMs_; }
  /// De l'arrivée d'un paquet à son heure de jeu, moyenne de la dernière seconde.
  [[nodiscard]] std::optional<double> reserveMs() const { return reserve_.reserveMoyenneMs(); }

 private:
  void viser(InstantNs maintenant, const FileLecture::Etat& etat);
  /// Une latence annoncée depuis moins de 3 s, que la file peut tenir.
  [[nodiscard]] bool enGroupe(InstantNs maintenant) const;
  /// La file tient la cible que cette heure de groupe lui demanderait.
  [[nodiscard]] bool aPortee(double heureMs) const;
  /// La seconde close : l'écart à l'heure du groupe, en vitesse ou en recalage.
  void tenirLeGroupe(double latenceMs, double retardFixeMs, InstantNs maintenant);
  /// La latence du groupe à `maintenant`, une descente douce comprise, ms.
  [[nodiscard]] double heureGroupeMs(InstantNs maintenant) const;
  /// L'heure du groupe à `maintenant` (une descente douce comprise), ou plus tard si ce
  /// récepteur seul en a besoin, ms.
  [[nodiscard]] double viseeGroupeMs(double retardFixeMs, InstantNs maintenant) const;
  /// Avant que la pièce soit alignée : le saut, d'après un rendu neuf, d'un écart trop grand.
  void alignerSurLeRendu(const FileLecture::Etat& etat, std::int64_t decalageNs,
                         InstantNs maintenant);

  std::shared_ptr<FileLecture> file_;
  CibleAdaptative cible_;
  ReleveReserve releve_;   ///< avances
  ReleveReserve reserve_;  ///< avances sans les retards
  RegulateurVitesse regulateur_{.gainP = gainPSeul, .gainI = gainISeul};
  RegulateurVitesse regulateurGroupe_{.gainP = gainPGroupe, .gainI = gainIGroupe};
  std::optional<std::uint64_t> latenceGroupeNs_;
  InstantNs groupeVuNs_ = 0;
  bool groupeTenu_ = false;
  /// Latence mesurée moins avance : transit le plus court plus la sortie, ms.
  std::optional<double> retardFixeMs_;
  std::optional<double> latenceMs_;
  std::optional<double> cibleSeuleMs_;
  /// En groupe, la latence vers laquelle la lecture est menée, tant qu'aucun trou ne l'a
  /// réamorcée.
  std::optional<double> viseeMs_;
  /// Face à l'heure du groupe : à aligner (un rendu daté peut faire sauter), sautée d'après un
  /// rendu (la seconde mesurée dira le reste), alignée.
  enum class Alignement : std::uint8_t { aFaire, sauteeSurLeRendu, faite };
  Alignement alignement_ = Alignement::aFaire;
  /// Une descente douce de l'heure visée : d'où, vers où (la latence du groupe, ms), depuis
  /// quand (le premier tic qui la suit).
  struct Descente {
    double depuisMs = 0;
    double versMs = 0;
    std::optional<InstantNs> debutNs;
  };
  std::optional<Descente> descente_;
  std::optional<FileLecture::Rendu> renduVu_;
  /// Un saut de la tête (recalage, rattrapage, trou) depuis la dernière seconde mesurée.
  bool sautee_ = false;
  double vitessePPM_ = 0;
  std::optional<double> cibleMs_;
  bool secondeClose_ = false;
  bool commencee_ = false;
  std::int64_t tramesPaquet_ = FileLecture::tramesMaxParCasier;
  InstantNs regulationPermiseNs_ = 0;
};

}  // namespace ravlo
