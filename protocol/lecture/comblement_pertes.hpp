#pragma once

#include <cstdint>
#include <optional>

#include "protocol/lecture/lecture_tiree.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {

/// Remplace les paquets audio perdus par du silence de même durée, pour que la file de
/// lecture garde sa profondeur : sans cela chaque perte la raccourcit de 6,7 ms, et à 1 %
/// de pertes et 10 ms de gigue la réserve s'épuise en trous (474 par heure en simulation, 0 avec).
///
/// Un saut de 1 à 50 numéros (modulo 2³²) depuis le dernier paquet accepté est une perte ;
/// plus loin, c'est un émetteur qui a recommencé, et rien n'est comblé. Chaque paquet sauté
/// vaut autant de trames que le paquet qui arrive. Le silence est daté juste avant lui.
///
/// Exemple : après le 7, le 10 (320 trames) arrive ; 640 trames de silence datées
/// 13,3 ms avant lui passent d'abord dans la lecture.
struct ComblementPertes {
  static constexpr std::uint32_t sautMaximal = 50;

  /// Pousse le silence qui précède `paquet` ; rend le nombre de paquets comblés (0 si la file
  /// n'a pas la place ou s'il n'y a rien à combler). `precedent` : le dernier numéro accepté
  /// avant ce paquet (`SuiviSequence::derniere()` lu avant `noter`). N'alloue rien.
  static std::int64_t combler(LectureTiree& lecture, std::optional<std::uint32_t> precedent,
                              const PaquetAudio& paquet);

  ComblementPertes() = delete;
};

}  // namespace ravlo
