// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "protocol/base/instant.hpp"
#include "recepteur/casiers_lecture.hpp"
#include "recepteur/evenements_lecture.hpp"
#include "recepteur/fondu_enchaine.hpp"

namespace ravlo {

/// La tête de lecture et ses casiers : ce que le fil de rendu possède seul. Elle reçoit les
/// paquets et les ordres que la réception lui passe (`FileLecture`), et rend des trames.
///
/// Son état est un seul `Etat`, dont les passages se font tous dans `passerA` :
///
///   amorce ──amorce atteinte──▶ lecture ◀──fin du silence, en fondu── retenue
///   aSec ──réserve atteinte, en fondu──▶ lecture ──décalage en arrière──▶ retenue
///   lecture ──casier vide, un plus récent là (ou un seul sans suite)──▶ masque
///   masque ──fin du casier──▶ lecture
///   lecture ──casier vide, rien de plus récent, déjà masqué sans suite──▶ aSec (un trou)
///   tout ──repartir──▶ amorce (rien encore joué) ou aSec ; tout ──vider──▶ amorce
///
/// Fil de rendu seul.
class TeteLecture {
 public:
  enum class Etat : std::uint8_t {
    amorce,   ///< rien joué depuis la dernière remise à zéro : attend l'amorce
    lecture,  ///< joue un casier reçu
    masque,   ///< joue un casier vide en silence, allongé au besoin
    retenue,  ///< retenue par un recalage : se tait, puis rejoue en fondu le son quitté
    aSec,     ///< la file a tari après avoir joué : attend de se réamorcer
  };

  struct Compte {
    std::int64_t trous = 0;
    std::int64_t masques = 0;
    std::int64_t rattrapages = 0;
    std::int64_t tramesSautees = 0;
    std::int64_t recalages = 0;
    std::int64_t tardifs = 0;  ///< jugés à leur place à la réception, dépassés au rendu
  };

  struct Tirage {
    std::int64_t rendues = 0;
    Evenements evenements;
    std::optional<InstantNs> captureDebut;  ///< heure de capture de la première trame
  };

  explicit TeteLecture(bool rattraper) : rattraper_(rattraper) {}

  // Ordres de la réception, dans l'ordre où elle les a donnés.
  void ranger(std::uint32_t sequence, InstantNs captureNs, std::int64_t trames,
              std::span<const std::int16_t> entrelace);
  void repartir(std::uint32_t sequence);
  /// Avant tout son, un paquet plus ancien que la tête la ramène à lui.
  void reculer(std::uint32_t sequence);
  void vider();
  /// L'état d'une tête neuve, ses casiers gardés : sans réallouer ni remettre à zéro leurs
  /// 2,6 Mo.
  void remettreANeuf();
  void demanderDecalage(std::int64_t trames, bool enPhase);
  void changerAllongement(std::int64_t trames) { allongement_ = trames; }

  /// Rend `n` trames dans `gauche`, `droite` ; `amorce` et `ecartDepartNs`, réglés par la
  /// réception, pour un départ ou un réamorçage.
  Tirage tirer(std::int64_t n, std::span<float> gauche, std::span<float> droite,
               std::optional<InstantNs> heureNs, std::int64_t amorce,
               std::optional<std::int64_t> ecartDepartNs);
  [[nodiscard]] bool peutRendre(std::int64_t trames, std::int64_t amorce) const;

  [[nodiscard]] Etat etat() const { return etat_; }
  [[nodiscard]] CasiersLecture::Position position() const { return tete_; }
  /// La tête a entamé son casier : un paquet qui y arrive est en retard.
  [[nodiscard]] bool entamee() const {
    return tete_.decalage > 0 || etat_ == Etat::masque || silenceRestant_ > 0;
  }
  [[nodiscard]] const Compte& compte() const { return compte_; }

 private:
  struct Decalage {
    std::int64_t trames = 0;
    bool enPhase = false;
  };
  enum class FinCasier : std::uint8_t { indecise, tenue, eteinte };

  void passerA(Etat vers, std::int64_t silence = 0);
  [[nodiscard]] bool joue() const {
    return etat_ == Etat::lecture || etat_ == Etat::masque || etat_ == Etat::retenue;
  }
  [[nodiscard]] std::int64_t reserve() const;
  [[nodiscard]] std::optional<std::int64_t> amorceAtteinte(std::int64_t amorce) const;
  [[nodiscard]] std::optional<std::int64_t> departAtteint(std::optional<InstantNs> heureNs,
                                                          std::int64_t amorce,
                                                          std::optional<std::int64_t> ecart) const;
  void avancer(std::int64_t trames, bool enchainer);
  void passerAuSuivant();
  void appliquerDecalage(Tirage& tirage);
  /// Rend jusqu'à `n` trames de silence (masque, retenue) ; rend le nombre écrit.
  std::int64_t rendreSilence(std::int64_t n, std::span<float> g, std::span<float> d);
  /// Rend jusqu'à `n` trames du casier de la tête ; rend le nombre écrit.
  std::int64_t rendreCasier(std::int64_t i, std::int64_t n, std::span<float> g, std::span<float> d,
                            Tirage& t);

  const bool rattraper_;
  CasiersLecture casiers_;
  FonduEnchaine fondu_;
  Etat etat_ = Etat::amorce;
  CasiersLecture::Position tete_;
  std::optional<std::uint32_t> recente_;  ///< le plus récent rangé ; rien : file vide
  std::int64_t tramesPaquet_ = CasiersLecture::tramesMax;
  std::int64_t silenceRestant_ = 0;  ///< allongement d'un masquage, ou retenue
  std::int64_t allongement_ = 0;
  /// Le masquage permis sans paquet plus récent a servi depuis le dernier son reçu.
  bool sansSuiteServi_ = false;
  FinCasier fin_ = FinCasier::indecise;
  std::optional<Decalage> decalage_;
  Compte compte_;
};

}  // namespace ravlo
