#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "protocol/base/instant.hpp"
#include "protocol/lecture/regulateur_vitesse.hpp"
#include "protocol/lecture/releve_reserve.hpp"
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
/// lecture et 3 s après chaque trou. L'amorce de la file est la cible plus un paquet, la
/// réserve qu'a la file quand arrive un paquet sans retard. Quand l'avance manque la cible de
/// plus de 2 ms, les masquages de la seconde qui suit s'allongent d'autant.
///
/// Exemple : cible 17 ms, paquets de 320 trames → amorce 17 × 48 + 320 = 1136 trames.
///
/// Chemin de réception seul.
class PiloteFile {
 public:
  static constexpr double tramesParMs = 48.0;
  /// Avant toute mesure : un paquet de retard, un bloc de 5 ms et la marge.
  static constexpr double cibleDepartMs = 14.0;
  static constexpr std::uint64_t attenteRegulationNs = 3'000'000'000;
  static constexpr double margeAllongementMs = 2.0;
  static constexpr std::int64_t amorceDepartTrames =
      static_cast<std::int64_t>(cibleDepartMs * tramesParMs) + FileLecture::tramesMaxParCasier;

  explicit PiloteFile(std::shared_ptr<FileLecture> file);

  /// Un paquet authentique arrivé à `maintenant`.
  FileLecture::Placement recevoir(const PaquetAudio& paquet, InstantNs maintenant);

  /// Le tic : cible, amorce, vitesse une fois par seconde d'avances relevées.
  void piloter(InstantNs maintenant);

  /// Tient la vitesse à son terme intégral 3 s (une reprise après une pause).
  void retarderRegulation(InstantNs maintenant);

  /// Un nouvel émetteur : tout se réapprend, la file est vidée.
  void reinitialiser();

  [[nodiscard]] double vitessePPM() const { return vitessePPM_; }
  [[nodiscard]] std::optional<double> cibleMs() const { return cibleMs_; }
  /// De l'arrivée d'un paquet à son heure de jeu, moyenne de la dernière seconde.
  [[nodiscard]] std::optional<double> reserveMs() const { return reserve_.reserveMoyenneMs(); }

 private:
  void viser(InstantNs maintenant, const FileLecture::Etat& etat);

  std::shared_ptr<FileLecture> file_;
  CibleAdaptative cible_;
  ReleveReserve releve_;   ///< avances
  ReleveReserve reserve_;  ///< avances sans les retards
  RegulateurVitesse regulateur_;
  double vitessePPM_ = 0;
  std::optional<double> cibleMs_;
  bool secondeClose_ = false;
  bool commencee_ = false;
  std::int64_t trousVus_ = 0;
  std::int64_t tramesPaquet_ = FileLecture::tramesMaxParCasier;
  InstantNs regulationPermiseNs_ = 0;
};

}  // namespace ravlo
