// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ravlo {

/// Code à quatre chiffres ASCII (zéros de tête compris, « 0042 ») que le récepteur montre
/// et que l'utilisateur tape. Ses bits 0 à 13 portent toute sa valeur (9999 < 2¹⁴) : un
/// bit par rang de l'échange d'appairage, le bit 0 d'abord.
class CodeAppairage {
 public:
  /// Le code tapé, rogné des espaces Unicode et tabulations de ses deux bouts ; rien s'il ne
  /// reste pas exactement quatre caractères, chacun un chiffre ASCII. « 0042 » entouré
  /// d'espaces est valide ; « 42 », « 12a4 », « ٠٠٤٢ » et « 1234\n » ne le sont pas.
  [[nodiscard]] static std::optional<CodeAppairage> depuisSaisie(std::string_view texte);

  /// Un code uniforme entre 0000 et 9999 du générateur sûr du système.
  [[nodiscard]] static CodeAppairage aleatoire();

  [[nodiscard]] const std::string& chiffres() const { return chiffres_; }

  /// Bit numéro `rang` de la valeur du code. Exemple : 0042 = 0b101010 a les rangs 1, 3
  /// et 5. Faux pour tout rang négatif ou au-delà de la valeur.
  [[nodiscard]] bool bit(int rang) const;

  bool operator==(const CodeAppairage&) const = default;

 private:
  explicit CodeAppairage(std::string chiffres);

  std::string chiffres_;
};

}  // namespace ravlo
