#pragma once

#include <cstdint>
#include <optional>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Gigue du réseau d'après le transit de chaque paquet audio (arrivée locale moins heure de
/// capture chez l'émetteur). Les deux horloges ne sont pas reliées : le transit porte leur
/// décalage, que l'on retire en mesurant chaque transit par rapport au plus petit vu dans la
/// fenêtre courante et la précédente (2 s chacune par défaut). Un transit à plus de 2 s de
/// cette référence signale un émetteur redémarré : les fenêtres repartent de zéro.
///
/// Exemple : transits 10,0 ms, 10,5 ms puis 13,0 ms dans une fenêtre → gigues 0, 0,5 puis
/// 3,0 ms.
class MesureGigue {
 public:
  static constexpr std::uint64_t fenetreParDefautNs = 2'000'000'000;
  static constexpr std::uint64_t sautRedemarrageNs = 2'000'000'000;

  explicit MesureGigue(std::uint64_t fenetreNs = fenetreParDefautNs) : fenetre_(fenetreNs) {}

  /// `envoiNs` : heure de capture du paquet (horloge de l'émetteur) ; `receptionNs` : son
  /// arrivée (horloge locale).
  void mesurer(InstantNs envoiNs, InstantNs receptionNs);

  /// Gigue du dernier paquet, ms.
  [[nodiscard]] double gigueMs() const { return gigueMs_; }
  /// Plus forte gigue des fenêtres courante et précédente, ms.
  [[nodiscard]] double gigueMaxRecenteMs() const;
  [[nodiscard]] std::int64_t mesures() const { return mesures_; }

 private:
  std::uint64_t fenetre_;
  std::optional<InstantNs> debutFenetre_;
  std::optional<std::int64_t> transitMinCourant_;
  std::optional<std::int64_t> transitMinPrecedent_;
  double gigueMaxCourante_ = 0;
  double gigueMaxPrecedente_ = 0;
  double gigueMs_ = 0;
  std::int64_t mesures_ = 0;
};

}  // namespace ravlo
