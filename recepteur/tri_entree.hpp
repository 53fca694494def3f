// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/point_reseau.hpp"

namespace ravlo {

/// Ce que ses premiers octets et sa taille font d'un datagramme, sans rien décoder ni
/// déchiffrer : un flot de datagrammes étrangers ne coûte que cette lecture.
enum class FormeDatagramme : std::uint8_t {
  appairage,    ///< "RP", version 1, cas 0 à 5, 12 à 173 octets
  reprise,      ///< "RP", version 1, cas 6 à 9, 12 à 76 octets
  enveloppe,    ///< forme d'enveloppe ; scellant de l'audio, 48 à 1324 octets
  demandeCode,  ///< "RP", version 1, cas 10, tentative 0, 12 octets
  autre,
};

[[nodiscard]] FormeDatagramme formeDe(VueOctets datagramme);

/// La part du déchiffrement laissée aux enveloppes d'une autre source que l'expéditeur
/// courant. L'émetteur qui change de socket (il s'appaire depuis l'une et envoie le son depuis
/// une autre) ou d'adresse passe par là ; un flot d'enveloppes forgées venues d'ailleurs
/// n'occupe pas le déchiffrement :
/// - une source dont une enveloppe ne s'est pas ouverte voit ses suivantes écartées pendant
///   1 s (les 16 dernières ainsi retenues) : un flot venu de quelques sockets ne coûte que
///   quelques ouvertures par seconde, et une source neuve passe aussitôt ;
/// - au-delà, 1000 ouvertures par seconde, 100 d'avance, pour toutes les autres sources
///   ensemble : sous un flot de F datagrammes par seconde aux sources toutes différentes, la
///   première enveloppe d'un émetteur déplacé (150 par seconde) passe en moyenne après
///   F ÷ (150 × 1000) s, 130 ms pour F = 20 000.
class QuotaEtrangers {
 public:
  static constexpr std::uint64_t intervalleNs = 1'000'000;  ///< une ouverture par ms
  static constexpr std::uint64_t avance = 100;
  static constexpr std::size_t suspectesMax = 16;
  static constexpr std::uint64_t mefianceNs = 1'000'000'000;

  /// Une ouverture pour une enveloppe de `source` arrivée à `maintenant`, s'il en reste.
  [[nodiscard]] bool prendre(const PointReseau& source, InstantNs maintenant);
  /// L'enveloppe de `source` ne s'est pas ouverte.
  void refusee(const PointReseau& source, InstantNs maintenant);

 private:
  struct Suspecte {
    PointReseau source;
    InstantNs depuis = 0;
  };
  std::array<Suspecte, suspectesMax> suspectes_{};
  std::size_t nombre_ = 0;
  std::size_t prochaine_ = 0;  ///< la plus ancienne, remplacée la première
  std::uint64_t creditNs_ = avance * intervalleNs;
  InstantNs dernier_ = 0;
  bool date_ = false;
};

}  // namespace ravlo
