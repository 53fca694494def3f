// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Pourquoi une sortie n'a pas démarré ou a cessé de rendre : le cas, qui se dit à
/// l'utilisateur dans sa langue (`texteErreurSortie`), et le texte brut du serveur de son ou
/// du système, qui ne sert qu'au diagnostic (`--stats`).
struct ErreurSortie {
  enum class Cas : std::uint8_t {
    serveurInjoignable,  ///< pas de serveur de son, ou il refuse la connexion
    serveurPerdu,        ///< le lien au serveur est tombé : arrêté ou relancé
    sortieIntrouvable,   ///< la sortie nommée n'existe pas, ou a disparu
    accesRefuse,
    delaiDepasse,             ///< le serveur ne répond pas à temps
    fichier,                  ///< le fichier ne s'écrit plus : rien ne le fera revenir
    peripheriqueIntrouvable,  ///< ALSA : pas de périphérique de ce nom
    peripheriqueOccupe,       ///< ALSA : un autre programme le tient
    peripheriqueRefuse,       ///< ALSA : droits insuffisants
    formatRefuse,             ///< ALSA : ni 48 kHz, ni stéréo, ni 16 bits
    peripheriquePerdu,        ///< ALSA : débranché en cours de lecture
    autre,
  };
  Cas cas = Cas::autre;
  std::string brut;

  /// Le serveur de son peut revenir : la sortie vaut d'être redémarrée plus tard.
  [[nodiscard]] bool reprenable() const { return cas != Cas::fichier; }
  bool operator==(const ErreurSortie&) const = default;
};

/// La phrase qui dit `erreur` dans `locale`, sans majuscule ni point : elle se glisse dans une
/// autre.
[[nodiscard]] std::string texteErreurSortie(const ErreurSortie& erreur, std::string_view locale);

/// Une sortie de son qui tire ce qu'elle joue : stéréo, 48 000 Hz, flottants entrelacés.
class SortieAudio {
 public:
  /// Appelé sur le fil de rendu de la sortie, jamais deux à la fois : remplir tout le bloc et
  /// rendre vrai. Le second argument : l'heure hôte où sa première trame sortira, quand elle
  /// est connue. Le troisième, `peutAttendre` : la sortie n'a pas d'horloge à suivre et
  /// accepte faux, « rien à jouer sans trou pour l'instant » ; le bloc n'est alors pas joué
  /// et elle rappellera. Une sortie qui le passe à faux rend toujours tout le bloc.
  using RappelRendu =
      std::function<bool(std::span<float>, std::optional<InstantNs>, bool peutAttendre)>;

  virtual ~SortieAudio() = default;

  /// Démarre le rendu ; la raison de l'échec sinon. Le rappel peut venir avant le retour. Une
  /// sortie arrêtée (ou en panne, puis arrêtée) redémarre par un nouvel appel.
  [[nodiscard]] virtual std::optional<ErreurSortie> demarrer(RappelRendu rappel) = 0;
  /// Plus aucun rappel après le retour. Sans effet si déjà arrêtée.
  virtual void arreter() = 0;
  /// Le son de cette sortie est coupé (dernière valeur connue ; la demande suit).
  [[nodiscard]] virtual bool sonCoupe() = 0;
  /// Pourquoi la sortie a cessé de rendre après avoir démarré (serveur parti, disque plein),
  /// ou rien tant qu'elle rend.
  [[nodiscard]] virtual std::optional<ErreurSortie> panne() = 0;
  /// Combien de fois le serveur de son a manqué de ce que la sortie lui devait (il a joué du
  /// silence à la place) ; rien quand elle ne le sait pas. N'importe quel fil.
  [[nodiscard]] virtual std::optional<std::int64_t> sousAlimentations() const {
    return std::nullopt;
  }
  /// La réserve que la sortie demande en ce moment au serveur, µs, quand elle la règle
  /// elle-même d'après ses sous-alimentations, ou celle que le périphérique lui a accordée ;
  /// rien sinon. N'importe quel fil.
  [[nodiscard]] virtual std::optional<std::uint32_t> latenceDemandeeUs() const {
    return std::nullopt;
  }
};

}  // namespace ravlo
