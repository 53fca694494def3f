// SPDX-License-Identifier: MPL-2.0
#include "protocol/messages/paquet_audio.hpp"

#include <algorithm>
#include <optional>

#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"

namespace ravlo {
namespace {

std::optional<ErreurPaquet> validerPCM(std::size_t longueur) {
  if (longueur == 0 || longueur % PaquetAudio::octetsParTrame != 0) {
    return ErreurPaquet{CasErreurPaquet::tailleAudioInvalide};
  }
  if (longueur / PaquetAudio::octetsParTrame > PaquetAudio::tramesMax) {
    return ErreurPaquet{CasErreurPaquet::tropDeTrames};
  }
  return std::nullopt;
}

}  // namespace

std::expected<PaquetAudio, ErreurPaquet> PaquetAudio::creer(std::uint32_t sequence,
                                                            std::uint64_t horodatageNanosecondes,
                                                            Octets echantillons) {
  if (auto erreur = validerPCM(echantillons.size())) return std::unexpected(*erreur);
  return PaquetAudio(sequence, horodatageNanosecondes, std::move(echantillons));
}

std::expected<PaquetAudio, ErreurPaquet> PaquetAudio::lire(VueOctets donnees) {
  if (donnees.size() < tailleEnTete)
    return std::unexpected(ErreurPaquet{CasErreurPaquet::tropCourt});
  if (!std::equal(signature.begin(), signature.end(), donnees.begin())) {
    return std::unexpected(ErreurPaquet{CasErreurPaquet::signatureInvalide});
  }
  if (donnees[2] != version) {
    return std::unexpected(ErreurPaquet{CasErreurPaquet::versionInconnue, donnees[2]});
  }
  const auto sequence = lirePetitBoutiste<std::uint32_t>(donnees.data() + 4);
  const auto horodatage = lirePetitBoutiste<std::uint64_t>(donnees.data() + 8);
  const VueOctets pcm = donnees.subspan(tailleEnTete);
  if (auto erreur = validerPCM(pcm.size())) return std::unexpected(*erreur);
  return PaquetAudio(sequence, horodatage, Octets(pcm.begin(), pcm.end()));
}

std::expected<std::size_t, ErreurPaquet> PaquetAudio::encoderDans(
    std::uint32_t sequence, std::uint64_t horodatageNanosecondes, VueOctets echantillons,
    std::span<std::uint8_t> dans) {
  if (auto erreur = validerPCM(echantillons.size())) return std::unexpected(*erreur);
  const std::size_t taille = tailleEnTete + echantillons.size();
  if (dans.size() < taille) return std::unexpected(ErreurPaquet{CasErreurPaquet::tropCourt});
  std::uint8_t* o = dans.data();
  o[0] = signature[0];
  o[1] = signature[1];
  o[2] = version;
  o[3] = 0;
  ecrirePetitBoutiste(o + 4, sequence);
  ecrirePetitBoutiste(o + 8, horodatageNanosecondes);
  std::copy(echantillons.begin(), echantillons.end(), o + tailleEnTete);
  return taille;
}

Octets PaquetAudio::encoder() const {
  EcrivainOctets sortie(tailleEnTete + echantillons_.size());
  sortie.ecrire(VueOctets(signature))
      .ecrire(version)
      .ecrire(std::uint8_t{0})
      .ecrire(sequence_)
      .ecrire(horodatage_)
      .ecrire(VueOctets(echantillons_));
  return std::move(sortie).terminer();
}

}  // namespace ravlo
