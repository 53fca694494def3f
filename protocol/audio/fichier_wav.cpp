// SPDX-License-Identifier: MPL-2.0
#include "protocol/audio/fichier_wav.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

constexpr auto frequence = static_cast<std::uint32_t>(flux::tramesParSeconde);
constexpr auto voies = static_cast<std::uint16_t>(flux::canaux);
constexpr auto bits = static_cast<std::uint16_t>(8 * flux::octetsParEchantillon);
constexpr std::uint16_t formatPCM = 1;
constexpr std::uint16_t formatExtensible = 0xFFFE;

bool nomme(VueOctets quatre, const char (&nom)[5]) {
  return std::equal(quatre.begin(), quatre.end(), nom, nom + 4);
}

}  // namespace

std::string texte(ErreurWav erreur, std::string_view locale) {
  switch (erreur) {
    case ErreurWav::pasUnWav:
      return texte("Ce fichier n'est pas un fichier WAV.", locale);
    case ErreurWav::formatAbsent:
    case ErreurWav::donneesAbsentes:
      return texte("Ce fichier WAV est incomplet.", locale);
    case ErreurWav::pasDuPCM:
    case ErreurWav::mauvaisFormat:
      return texte("Le fichier WAV doit être en PCM 48 000 Hz, stéréo, 16 bits.", locale);
  }
  return {};
}

std::expected<FichierWav, ErreurWav> FichierWav::lire(VueOctets fichier) {
  LecteurOctets lecteur(fichier);
  const auto riff = lecteur.prendre(4);
  const auto tailleRiff = lecteur.lire<std::uint32_t>();
  const auto wave = lecteur.prendre(4);
  if (!riff || !tailleRiff || !wave || !nomme(*riff, "RIFF") || !nomme(*wave, "WAVE")) {
    return std::unexpected(ErreurWav::pasUnWav);
  }
  bool formatLu = false;
  while (true) {
    const auto nom = lecteur.prendre(4);
    const auto taille = lecteur.lire<std::uint32_t>();
    if (!nom || !taille) {
      return std::unexpected(formatLu ? ErreurWav::donneesAbsentes : ErreurWav::formatAbsent);
    }
    if (nomme(*nom, "fmt ")) {
      const auto bloc = lecteur.prendre(std::min<std::size_t>(*taille, lecteur.reste()));
      if (!bloc || bloc->size() < 16) return std::unexpected(ErreurWav::formatAbsent);
      // Un bloc de taille impaire est suivi d'un octet d'alignement.
      if ((*taille & 1u) != 0 && lecteur.reste() > 0) (void)lecteur.prendre(1);
      // Octets par seconde et alignement (8 à 13) se déduisent des trois autres champs.
      const auto format = lirePetitBoutiste<std::uint16_t>(bloc->data());
      const auto nombreVoies = lirePetitBoutiste<std::uint16_t>(bloc->data() + 2);
      const auto hz = lirePetitBoutiste<std::uint32_t>(bloc->data() + 4);
      const auto profondeur = lirePetitBoutiste<std::uint16_t>(bloc->data() + 14);
      if (format != formatPCM && format != formatExtensible) {
        return std::unexpected(ErreurWav::pasDuPCM);
      }
      if (nombreVoies != voies || hz != frequence || profondeur != bits) {
        return std::unexpected(ErreurWav::mauvaisFormat);
      }
      formatLu = true;
    } else if (nomme(*nom, "data")) {
      if (!formatLu) return std::unexpected(ErreurWav::formatAbsent);
      const std::size_t present = std::min<std::size_t>(*taille, lecteur.reste());
      return FichierWav{lecteur.position(), present - present % 4};
    } else {
      // Bloc inconnu (LIST, fact…), aligné sur deux octets.
      if (!lecteur.prendre(
              std::min<std::size_t>(std::size_t{*taille} + (*taille & 1u), lecteur.reste()))) {
        return std::unexpected(ErreurWav::formatAbsent);
      }
    }
  }
}

Octets FichierWav::entete(std::uint32_t octetsDonnees) {
  EcrivainOctets e(44);
  e.ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>("RIFF"), 4))
      .ecrire(static_cast<std::uint32_t>(36 + octetsDonnees))
      .ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>("WAVEfmt "), 8))
      .ecrire(std::uint32_t{16})
      .ecrire(formatPCM)
      .ecrire(voies)
      .ecrire(frequence)
      .ecrire(std::uint32_t{frequence * voies * bits / 8})
      .ecrire(static_cast<std::uint16_t>(voies * bits / 8))
      .ecrire(bits)
      .ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>("data"), 4))
      .ecrire(octetsDonnees);
  return std::move(e).terminer();
}

}  // namespace ravlo
