// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "protocol/base/octets.hpp"
#include "protocol/base/verrou.hpp"
#include "protocol/scellement/enveloppe.hpp"

namespace ravlo {

enum class ErreurEnveloppe : std::uint8_t {
  compteurEpuise,   ///< le compteur 2⁶⁴ − 1 a déjà servi : ce lien ne peut plus rien sceller
  echecChiffrement  ///< le chiffrement a refusé le contenu (plus long que ce qu'il admet)
};

/// Scelle ce qu'un côté envoie dans un sens du lien.
///
/// Partagé par tous les fils émetteurs de ce sens (boucle audio et réponses d'horloge) :
/// chaque appel prend un compteur distinct sous un verrou court, puis chiffre hors du verrou.
/// Le compteur part de 0 et ne revient jamais en arrière ; une fois 2⁶⁴ − 1 utilisé, tout
/// scellement échoue avec `compteurEpuise`. La clé est effacée à la destruction.
class Scelleur {
 public:
  explicit Scelleur(const Cle& cle);
  /// Reprend à un compteur donné : pour les outils et les tests de l'épuisement.
  Scelleur(const Cle& cle, std::uint64_t prochain);
  ~Scelleur();
  Scelleur(const Scelleur&) = delete;
  Scelleur& operator=(const Scelleur&) = delete;

  /// En-tête ‖ chiffré ‖ étiquette, soit 28 octets de plus que le contenu.
  [[nodiscard]] std::expected<Octets, ErreurEnveloppe> sceller(VueOctets contenu,
                                                               SorteEnveloppe sorte);
  /// La même enveloppe écrite dans `dans`, sans allocation (le chemin de l'émetteur) ; rend
  /// sa taille. La place manquante est un échec qui ne consomme aucun numéro.
  [[nodiscard]] std::expected<std::size_t, ErreurEnveloppe> scellerDans(
      VueOctets contenu, SorteEnveloppe sorte, std::span<std::uint8_t> dans);

 private:
  std::optional<std::uint64_t> prendreCompteur();

  Cle cle_;
  Verrou verrou_;
  std::optional<std::uint64_t> prochain_ GARDE_PAR(verrou_);
};

}  // namespace ravlo
