// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/messages/service_ravlo.hpp"

namespace ravlo {

/// Le premier message d'une page, en texte (jamais en binaire : il ne peut passer pour un
/// datagramme) ; il dit qui elle est avant tout datagramme, puis plus rien que du binaire.
///
///   ravlo-page 1\n            première ligne, exacte ; une autre version est refusée
///   nom=iPhone — Safari\n     montrable, 128 octets UTF-8 au plus une fois nettoyé
///   langue=fr-FR              lettres, chiffres et « - », 35 au plus ; sinon vide
///   id=<32 hexa minuscules>   l'identifiant que la page s'est tiré à son premier appairage ;
///                             mal écrit, il est ignoré
///   reprise=1                 elle se souvient d'un appairage et sait le reprendre
///
/// Lignes « clé=valeur » dans n'importe quel ordre ; une clé inconnue est ignorée (une page
/// plus récente peut en dire plus), une clé absente donne une valeur vide.
struct BonjourPage {
  std::string nom;
  std::string langue;
  std::optional<IdentifiantRecepteur> identifiant = {};
  bool reprise = false;
  bool operator==(const BonjourPage&) const = default;
};

enum class ErreurBonjour : std::uint8_t { tropLong, pasUtf8, enteteInconnue };

/// Le bonjour le plus long admis, en octets.
inline constexpr std::size_t tailleBonjourMax = 1024;

[[nodiscard]] std::expected<BonjourPage, ErreurBonjour> lireBonjourPage(std::string_view texte);
/// Le texte que `lireBonjourPage` relit en `bonjour` (pour les essais et les clients natifs).
[[nodiscard]] std::string ecrireBonjourPage(const BonjourPage& bonjour);

}  // namespace ravlo
