// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/reveil.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Anneau d'octets PCM (au format du flux, `flux::`) entre un producteur
/// et un consommateur, qui sait l'heure de capture de chaque octet qu'il rend.
///
/// Écritures tout-ou-rien : un bloc qui ne tient pas est refusé entier et compté dans
/// `perdus`. Les compteurs sont cumulés sur toute la vie de l'anneau (il n'a pas de remise
/// à zéro : qui veut un anneau vide en crée un autre). Une table de 8 segments, chacun une
/// plage d'octets où l'horloge de capture est continue, date les lectures même après un
/// saut de l'horloge du producteur : un segment s'ouvre à la première écriture, après toute
/// écriture refusée, quand l'heure donnée s'écarte de plus de 2 ms de ce que le nombre
/// d'octets prédit, et quand la présence d'une heure change. Un écart plus petit est suivi :
/// le segment date ses octets d'après la dernière heure donnée.
///
/// Un producteur (le fil temps réel de la capture), un consommateur, et tout fil qui lit
/// `disponible` ou `perdus` : tous se sérialisent sur un verrou court. L'écriture n'alloue
/// rien. Le consommateur peut brancher un réveil : l'anneau le sonne depuis l'écriture dès
/// qu'il tient de quoi faire un paquet, au lieu d'être guetté à intervalles ; la sonnerie
/// se fait sous un second verrou, que seul le branchement dispute, jamais sous celui des
/// données.
class TamponAudio {
 public:
  static constexpr auto octetsParTrame = static_cast<std::int64_t>(flux::octetsParTrame);
  static constexpr std::int64_t nombreDeSegments = 8;
  /// Écart toléré entre l'heure donnée et l'heure prédite avant d'ouvrir un segment.
  static constexpr std::uint64_t toleranceNs = 2'000'000;

  /// Octets lus et heure de capture du premier d'entre eux.
  struct Lecture {
    Octets octets;
    std::optional<InstantNs> captureNs;
  };

  /// Ce que `lire(dans)` a copié.
  struct LectureDans {
    std::int64_t octets = 0;
    std::optional<InstantNs> captureNs;
  };

  /// `capacite` ≥ 1 : les créateurs passent des constantes du programme.
  explicit TamponAudio(std::int64_t capacite);
  TamponAudio(const TamponAudio&) = delete;
  TamponAudio& operator=(const TamponAudio&) = delete;

  /// Durée de b octets, trames entières seules ; une trame incomplète ne compte pas.
  /// Exemple : 192 004 octets → 1 000 020 833 ns.
  [[nodiscard]] static constexpr std::int64_t dureeNs(std::int64_t octets) {
    return flux::nsDeTrames(octets / octetsParTrame);
  }

  /// Stocke le bloc entier avec l'heure de capture de son premier octet, ou le refuse entier
  /// faute de place (faux). Un bloc vide est accepté sans rien toucher. Producteur seul.
  bool ecrire(VueOctets bloc, std::optional<InstantNs> captureNs);

  /// Exactement n octets s'il y en a au moins n, sinon rien (et rien n'est consommé).
  [[nodiscard]] std::optional<Lecture> lire(std::int64_t octets);

  /// Copie dans `dans` autant de trames entières que possible, au plus `dans.size()` octets ;
  /// rien en dessous d'une trame. N'alloue rien : sert aussi au rendu temps réel.
  LectureDans lire(std::span<std::uint8_t> dans);

  /// Jette jusqu'à n octets, en trames entières, sans les copier ; rend le nombre jeté.
  std::int64_t jeter(std::int64_t octets);

  /// Après chaque écriture qui laisse au moins `seuil` octets dans l'anneau (refusée ou
  /// non), `reveil` est sonné depuis le fil qui écrit. Nul : plus de sonnerie dès le retour,
  /// si bien que le réveil peut alors disparaître. Consommateur seul.
  void brancherReveil(Reveil* reveil, std::int64_t seuil);

  [[nodiscard]] std::int64_t disponible() const;
  [[nodiscard]] std::int64_t perdus() const;
  [[nodiscard]] std::int64_t capacite() const { return capacite_; }

 private:
  struct Segment {
    std::int64_t offset = 0;
    std::optional<InstantNs> captureNs;
  };

  /// L'écriture proprement dite ; `tenus` : les octets dans l'anneau après elle.
  bool stocker(VueOctets bloc, std::optional<InstantNs> captureNs, std::int64_t& tenus);
  void noterSegment(std::optional<InstantNs> captureNs) EXIGE(verrou_);
  [[nodiscard]] std::optional<InstantNs> instantDe(std::int64_t position) const EXIGE(verrou_);
  /// Copie n octets à partir de `lus` (en deux morceaux au tour de l'anneau) et avance `lus`.
  void extraire(std::uint8_t* vers, std::int64_t n) EXIGE(verrou_);

  const std::int64_t capacite_;
  const std::unique_ptr<std::uint8_t[]> anneau_;
  mutable Verrou verrou_;
  std::int64_t ecrits_ GARDE_PAR(verrou_) = 0;
  std::int64_t lus_ GARDE_PAR(verrou_) = 0;
  std::int64_t perdus_ GARDE_PAR(verrou_) = 0;
  std::array<Segment, nombreDeSegments> segments_ GARDE_PAR(verrou_){};
  std::int64_t ouverts_ GARDE_PAR(verrou_) = 0;
  bool ruptureAttendue_ GARDE_PAR(verrou_) = false;
  mutable Verrou verrouReveil_;
  Reveil* reveil_ GARDE_PAR(verrouReveil_) = nullptr;
  std::int64_t seuilReveil_ GARDE_PAR(verrouReveil_) = 1;
};

}  // namespace ravlo
