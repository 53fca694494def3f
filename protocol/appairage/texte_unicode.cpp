// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/texte_unicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "protocol/base/exiger.hpp"

namespace ravlo {
namespace {

bool estEspace(UChar32 c) {
  return c == 0x09 || u_charType(c) == U_SPACE_SEPARATOR;
}

bool estControleOuFormat(UChar32 c) {
  const auto categorie = static_cast<UCharCategory>(u_charType(c));
  return categorie == U_CONTROL_CHAR || categorie == U_FORMAT_CHAR;
}

/// Taille UTF-8 des unités UTF-16 [debut, fin) d'un texte sans demi-code isolé.
std::size_t octetsUtf8(const icu::UnicodeString& texte, std::int32_t debut, std::int32_t fin) {
  std::size_t n = 0;
  for (std::int32_t i = debut; i < fin;) {
    const UChar32 c = texte.char32At(i);
    n += static_cast<std::size_t>(U8_LENGTH(c));
    i += U16_LENGTH(c);
  }
  return n;
}

/// Fin (en unités UTF-16) du plus long préfixe de grappes entières qui tient en `limite`
/// octets UTF-8 : c'est ce qui reste après avoir ôté la dernière grappe autant de fois qu'il
/// le fallait, les coupures d'un préfixe étant celles du texte entier.
std::int32_t finDesGrappesQuiTiennent(const icu::UnicodeString& texte, std::size_t limite) {
  UErrorCode statut = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> grappes(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), statut));
  RAVLO_EXIGER(U_SUCCESS(statut) && grappes != nullptr);
  grappes->setText(texte);
  std::size_t garde = 0;
  std::int32_t fin = grappes->first();
  for (std::int32_t suivante = grappes->next(); suivante != icu::BreakIterator::DONE;
       suivante = grappes->next()) {
    garde += octetsUtf8(texte, fin, suivante);
    if (garde > limite) break;
    fin = suivante;
  }
  return fin;
}

}  // namespace

std::string_view rognerEspaces(std::string_view texte) {
  if (texte.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return texte;
  }
  const auto* s = reinterpret_cast<const std::uint8_t*>(texte.data());
  const auto longueur = static_cast<std::int32_t>(texte.size());
  std::int32_t debut = 0;
  while (debut < longueur) {
    std::int32_t i = debut;
    UChar32 c = 0;
    U8_NEXT(s, i, longueur, c);  // NOLINT(bugprone-inc-dec-in-conditions) : macro d'ICU
    if (c < 0 || !estEspace(c)) break;
    debut = i;
  }
  std::int32_t fin = longueur;
  while (fin > debut) {
    std::int32_t i = fin;
    UChar32 c = 0;
    U8_PREV(s, debut, i, c);
    if (c < 0 || !estEspace(c)) break;
    fin = i;
  }
  return texte.substr(static_cast<std::size_t>(debut), static_cast<std::size_t>(fin - debut));
}

std::string nomAffichable(std::string_view nom) {
  const icu::UnicodeString source = icu::UnicodeString::fromUTF8(
      icu::StringPiece(nom.substr(0, std::numeric_limits<std::int32_t>::max())));
  icu::UnicodeString propre;
  for (std::int32_t i = 0; i < source.length();) {
    const UChar32 c = source.char32At(i);
    i += U16_LENGTH(c);
    if (!estControleOuFormat(c)) propre.append(c);
  }
  std::string sortie;
  propre.toUTF8String(sortie);
  if (sortie.size() <= nomOctetsMax) return sortie;

  sortie.clear();
  propre.tempSubString(0, finDesGrappesQuiTiennent(propre, nomOctetsMax)).toUTF8String(sortie);
  return sortie;
}

bool estUtf8Strict(VueOctets octets) {
  if (octets.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  const auto longueur = static_cast<std::int32_t>(octets.size());
  Octets reencode;
  reencode.reserve(octets.size());
  for (std::int32_t i = 0; i < longueur;) {
    UChar32 c = 0;
    U8_NEXT(octets.data(), i, longueur, c);  // NOLINT(bugprone-inc-dec-in-conditions)
    if (c < 0) return false;
    std::uint8_t tampon[U8_MAX_LENGTH];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(tampon, n, c);
    reencode.insert(reencode.end(), tampon, tampon + n);
  }
  return std::equal(reencode.begin(), reencode.end(), octets.begin(), octets.end());
}

}  // namespace ravlo
