#include "link/capture/system_audio_tap_error.hpp"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "plateforme/systeme.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Met les valeurs, dans l'ordre, à la place des « %s » et « %lld » d'un modèle traduit, et
// « % » à la place de « %% ». Sans printf : une traduction fautive (une marque de trop ou
// de moins) ne peut ni lire la pile ni planter ; une marque sans valeur reste telle quelle.
std::string remplir(std::string_view modele, std::initializer_list<std::string> valeurs) {
  std::string sortie;
  auto valeur = valeurs.begin();
  for (std::size_t i = 0; i < modele.size(); ++i) {
    const std::string_view reste = modele.substr(i);
    if (reste.starts_with("%%")) {
      sortie += '%';
      ++i;
    } else if (valeur != valeurs.end() && reste.starts_with("%lld")) {
      sortie += *valeur++;
      i += 3;
    } else if (valeur != valeurs.end() && reste.starts_with("%s")) {
      sortie += *valeur++;
      ++i;
    } else {
      sortie += modele[i];
    }
  }
  return sortie;
}

// Chaque nom d'étape écrit en toutes lettres dans un appel à `texte`, pour que l'extraction
// des textes le trouve.
std::string nomEtape(std::string_view etape, std::string_view locale) {
  using E = SystemAudioTapError;
  if (etape == E::etapeSortieParDefaut) return texte("lecture de la sortie par défaut", locale);
  if (etape == E::etapeIdentifiantSortie) return texte("identifiant de la sortie", locale);
  if (etape == E::etapeFormatTap) return texte("format du tap", locale);
  if (etape == E::etapeAgregat) return texte("création de l'appareil agrégé", locale);
  if (etape == E::etapeRappel) return texte("installation du rappel audio", locale);
  if (etape == E::etapeDemarrage) return texte("démarrage de la capture", locale);
  return texte(etape, locale);
}

// Fréquence tronquée en entier décimal simple. Passe par le flottant : aucune fréquence
// finie, si grande soit-elle, ne déborde.
std::string entierTronque(double frequence) {
  char chiffres[400];
  std::snprintf(chiffres, sizeof chiffres, "%.0f", std::trunc(frequence));
  return chiffres;
}

}  // namespace

SystemAudioTapError SystemAudioTapError::tapImpossible(std::int32_t code) {
  return {CasSystemAudioTapError::tapImpossible, code, {}, {}};
}

SystemAudioTapError SystemAudioTapError::coreAudio(std::string_view etape, std::int32_t code) {
  return {CasSystemAudioTapError::coreAudio, code, std::string(etape), {}};
}

SystemAudioTapError SystemAudioTapError::formatInattendu(std::string phrase) {
  return {CasSystemAudioTapError::formatInattendu, 0, {}, std::move(phrase)};
}

SystemAudioTapError SystemAudioTapError::bitsInattendus(std::uint32_t bits,
                                                        std::string_view locale) {
  return formatInattendu(remplir(
      texte("Ce Mac livre son audio en %lld bits, or Ravlo attend des flottants 32 bits.", locale),
      {std::to_string(bits)}));
}

SystemAudioTapError SystemAudioTapError::canauxInattendus(std::uint32_t canaux,
                                                          std::string_view locale) {
  return formatInattendu(
      remplir(texte("Ce Mac livre %lld canaux, or Ravlo attend de la stéréo.", locale),
              {std::to_string(canaux)}));
}

SystemAudioTapError SystemAudioTapError::frequenceInattendue(double frequence,
                                                             std::string_view locale) {
  return formatInattendu(
      remplir(texte("La sortie de ce Mac tourne à %lld Hz, or Ravlo transmet du 48 000 Hz. Le son "
                    "sortirait de l'iPhone au mauvais rythme.\nOuvre « Configuration audio et "
                    "MIDI » et règle la sortie sur 48 000 Hz.",
                    locale),
              {entierTronque(frequence)}));
}

std::string SystemAudioTapError::description(std::string_view locale) const {
  switch (cas) {
    case CasSystemAudioTapError::tapImpossible:
      return remplir(
          texte("macOS n'a pas laissé Ravlo Link capter le son de ce Mac (code %lld).\nLa cause "
                "la plus fréquente est l'autorisation : ouvre Réglages Système → Confidentialité "
                "et sécurité → Enregistrement de l'écran et des sons du système, et active Ravlo "
                "Link.",
                locale),
          {std::to_string(code)});
    case CasSystemAudioTapError::coreAudio:
      return remplir(texte("Le son de ce Mac n'a pas pu être capté (étape « %s », code %lld). "
                           "Quitte Ravlo Link, rouvre-le, puis relance l'envoi.",
                           locale),
                     {nomEtape(etape, locale), std::to_string(code)});
    case CasSystemAudioTapError::formatInattendu:
      return phrase;
  }
  return phrase;
}

std::string SystemAudioTapError::description() const {
  return description(localeCourante());
}

}  // namespace ravlo
