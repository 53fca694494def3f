// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>

#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {

/// Ce qu'un émetteur et ses récepteurs se disent pour jouer ensemble, dans le format des
/// messages d'horloge dont il prend deux sortes de plus : qui ne les connaît pas les lit comme
/// une sorte inconnue et les jette, sans autre effet.
///
///   0      2   3   4                 12                  20                 28
///   +------+---+---+-----------------+-------------------+------------------+
///   | "RC" | 1 | s | a               | b                 | 0                |
///   +------+---+---+-----------------+-------------------+------------------+
///
/// - s = 2, `besoin` (récepteur → émetteur) : a = de la capture au son entendu, ce qu'il
///   faudrait à ce récepteur seul, ns ; b = ce que le récepteur tient en ce moment, ns
///   (0 : pas encore mesuré).
/// - s = 3, `latence` (émetteur → récepteur) : a = la latence du groupe, ns, de l'heure de
///   capture (horloge de l'émetteur) au son entendu ; b = le nombre de pièces du groupe.
///
/// Entiers petit-boutistes ; le dernier champ vaut 0 à l'envoi et n'est pas lu. Se lit par
/// `lireCanalHorloge` (canal_horloge.hpp), avec les questions et réponses d'heure.
///
/// Les deux bouts bornent ce qu'ils en lisent d'après ce que tient la file de lecture d'un
/// récepteur : 1024 casiers d'un paquet de 320 trames à 48 kHz, 6 826 ms de son d'avance au
/// plus. L'émetteur refuse un besoin qui mènerait le groupe au-delà de `latenceMaxNs` (ce
/// récepteur joue seul) ; un récepteur ignore une latence plus haute (il joue seul).
struct MessageGroupe {
  enum class Sorte : std::uint8_t { besoin = 2, latence = 3 };

  static constexpr std::int64_t casiersFile = 1024;
  static constexpr std::uint64_t fileNs =
      casiersFile * PaquetAudio::tramesMax * 1'000'000'000ULL / 48'000;
  /// Ce qui, dans la file, n'est pas de la réserve : le paquet qui arrive (6,7 ms), le bloc
  /// que la sortie tire d'un coup (40 ms au plus) et les 15 ms au-delà desquelles la file
  /// rattrape ; 100 ms les couvrent.
  static constexpr std::uint64_t horsReserveNs = 100'000'000;
  /// La plus haute latence de groupe qu'un récepteur tient, au dixième de seconde
  /// inférieur : 6,7 s.
  static constexpr std::uint64_t latenceMaxNs =
      (fileNs - horsReserveNs) / 100'000'000 * 100'000'000;

  Sorte sorte = Sorte::besoin;
  std::uint64_t a = 0;
  std::uint64_t b = 0;

  [[nodiscard]] static MessageGroupe besoin(std::uint64_t besoinNs, std::uint64_t tenuNs) {
    return {Sorte::besoin, besoinNs, tenuNs};
  }
  [[nodiscard]] static MessageGroupe latence(std::uint64_t latenceNs, std::uint64_t pieces) {
    return {Sorte::latence, latenceNs, pieces};
  }

  [[nodiscard]] Octets encoder() const;

  bool operator==(const MessageGroupe&) const = default;
};

}  // namespace ravlo
