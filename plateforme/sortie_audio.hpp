#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "protocol/base/instant.hpp"

namespace ravlo {

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

  /// Démarre le rendu ; la raison de l'échec sinon. Le rappel peut venir avant le retour.
  [[nodiscard]] virtual std::optional<std::string> demarrer(RappelRendu rappel) = 0;
  /// Plus aucun rappel après le retour. Sans effet si déjà arrêtée.
  virtual void arreter() = 0;
  /// Le son de cette sortie est coupé (dernière valeur connue ; la demande suit).
  [[nodiscard]] virtual bool sonCoupe() = 0;
  /// Pourquoi la sortie a cessé de rendre après avoir démarré (serveur parti, disque plein),
  /// ou rien tant qu'elle rend.
  [[nodiscard]] virtual std::optional<std::string> panne() = 0;
  /// Combien de fois le serveur de son a manqué de ce que la sortie lui devait (il a joué du
  /// silence à la place) ; rien quand elle ne le sait pas. N'importe quel fil.
  [[nodiscard]] virtual std::optional<std::int64_t> sousAlimentations() const {
    return std::nullopt;
  }
  /// La réserve que la sortie demande en ce moment au serveur, µs, quand elle la règle
  /// elle-même d'après ses sous-alimentations ; rien sinon. N'importe quel fil.
  [[nodiscard]] virtual std::optional<std::uint32_t> latenceDemandeeUs() const {
    return std::nullopt;
  }
};

}  // namespace ravlo
