#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ravlo {

enum class CasSystemAudioTapError : std::uint8_t { tapImpossible, coreAudio, formatInattendu };

/// Pourquoi la capture n'a pas démarré : l'étape qui a échoué et le statut du système de son,
/// ou la phrase qui nomme le format refusé. `description` est le texte montré à l'utilisateur,
/// tiré de la table "Localizable" (le français quand la traduction manque), les nombres en
/// entiers décimaux simples (« 44100 », jamais « 44 100 »).
struct SystemAudioTapError {
  /// Noms des étapes portés par `coreAudio` (eux aussi traduits à l'affichage).
  static constexpr std::string_view etapeSortieParDefaut = "lecture de la sortie par défaut";
  static constexpr std::string_view etapeIdentifiantSortie = "identifiant de la sortie";
  static constexpr std::string_view etapeFormatTap = "format du tap";
  static constexpr std::string_view etapeAgregat = "création de l'appareil agrégé";
  static constexpr std::string_view etapeRappel = "installation du rappel audio";
  static constexpr std::string_view etapeDemarrage = "démarrage de la capture";

  CasSystemAudioTapError cas = CasSystemAudioTapError::coreAudio;
  std::int32_t code = 0;
  std::string etape;
  std::string phrase;

  [[nodiscard]] static SystemAudioTapError tapImpossible(std::int32_t code);
  [[nodiscard]] static SystemAudioTapError coreAudio(std::string_view etape, std::int32_t code);
  [[nodiscard]] static SystemAudioTapError formatInattendu(std::string phrase);

  /// Les trois refus du format, phrase faite dans `locale`.
  [[nodiscard]] static SystemAudioTapError bitsInattendus(std::uint32_t bits,
                                                          std::string_view locale);
  [[nodiscard]] static SystemAudioTapError canauxInattendus(std::uint32_t canaux,
                                                            std::string_view locale);
  /// La fréquence y est tronquée à l'entier (finie : la capture refuse les autres avant).
  [[nodiscard]] static SystemAudioTapError frequenceInattendue(double frequence,
                                                               std::string_view locale);

  [[nodiscard]] std::string description(std::string_view locale) const;
  /// Dans la locale courante.
  [[nodiscard]] std::string description() const;

  bool operator==(const SystemAudioTapError&) const = default;
};

}  // namespace ravlo
