// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/base/octets.hpp"
#include "protocol/messages/service_ravlo.hpp"
#include "recepteur/carnet_expediteurs.hpp"
#include "recepteur/memoire_expediteurs.hpp"

namespace ravlo {

/// La mémoire du récepteur d'une page, que la page garde dans son stockage d'un chargement à
/// l'autre : l'identifiant qu'elle s'est tiré et les expéditeurs qu'elle reprend sans code.
/// En mémoire seulement ; le noyau l'écrit, la page la range telle quelle.
///
/// Forme écrite, version 1 :
/// ```
///  0      version = 1 (1 octet)
///  1      identifiant de la page (16)
///  17     les expéditeurs, forme écrite de `CarnetExpediteurs` (le reste)
/// ```
/// Sans expéditeur il n'y a rien à garder : la forme écrite est vide, et une forme écrite
/// sans expéditeur ne se relit pas.
///
/// La venue d'un expéditeur se date par un compteur (la page n'a pas d'horloge murale ici) :
/// il ne sert qu'à choisir qui oublier. Au plus `expediteursMax` : une page sert un ou deux
/// ordinateurs, et son stockage est modifiable par l'utilisateur. Un ordinateur qui
/// s'appaire de nouveau au code a perdu l'appairage d'avant : celui de même nom est oublié.
class SouvenirPage final : public MemoireExpediteurs {
 public:
  static constexpr std::uint8_t version = 1;
  static constexpr std::size_t expediteursMax = 4;

  explicit SouvenirPage(const IdentifiantRecepteur& identifiant) : identifiant_(identifiant) {}

  /// Rien si `octets` n'est pas une forme écrite valide portant au moins un expéditeur ; au
  /// plus les `expediteursMax` venus le plus récemment sont gardés.
  [[nodiscard]] static std::optional<SouvenirPage> lire(VueOctets octets);
  /// Vide sans expéditeur. Contient les PSK : l'appelant l'efface après usage.
  [[nodiscard]] Octets ecrire() const;

  [[nodiscard]] const IdentifiantRecepteur& identifiant() const { return identifiant_; }
  [[nodiscard]] bool vide() const { return carnet_.expediteurs().empty(); }
  void oublierTout() { carnet_.oublierTout(); }

  [[nodiscard]] std::optional<Paire> chercher(const IdentifiantPaire& id) override;
  void retenir(const SecretPaire& secret, const std::string& nom) override;
  void noterVenue(const IdentifiantPaire& id) override;

 private:
  [[nodiscard]] std::int64_t suivant() const;

  IdentifiantRecepteur identifiant_;
  CarnetExpediteurs carnet_;
};

}  // namespace ravlo
