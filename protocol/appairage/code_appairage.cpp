// SPDX-License-Identifier: MPL-2.0
#include "protocol/appairage/code_appairage.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/crypto/sodium.hpp"

namespace ravlo {
namespace {

constexpr std::size_t nombreDeChiffres = 4;

bool estChiffreAscii(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

CodeAppairage::CodeAppairage(std::string chiffres) : chiffres_(std::move(chiffres)) {}

std::optional<CodeAppairage> CodeAppairage::depuisSaisie(std::string_view texte) {
  const std::string_view rogne = rognerEspaces(texte);
  // Un caractère qui est un chiffre ASCII est une grappe d'un seul octet : « quatre
  // caractères, chacun un chiffre ASCII » revient à « quatre octets entre '0' et '9' ». Un
  // chiffre suivi d'une marque combinante forme une grappe qui n'est pas ASCII et échoue ici.
  if (rogne.size() != nombreDeChiffres ||
      !std::all_of(rogne.begin(), rogne.end(), estChiffreAscii)) {
    return std::nullopt;
  }
  return CodeAppairage(std::string(rogne));
}

CodeAppairage CodeAppairage::aleatoire() {
  assurerSodium();
  // randombytes_uniform rejette ce qui biaiserait le modulo : la valeur est uniforme.
  const std::uint32_t v = randombytes_uniform(10000);
  char texte[8];
  std::snprintf(texte, sizeof texte, "%04u", static_cast<unsigned>(v));
  return CodeAppairage(texte);
}

bool CodeAppairage::bit(int rang) const {
  if (rang < 0 || rang >= 31) return false;
  int valeur = 0;
  for (char c : chiffres_) valeur = valeur * 10 + (c - '0');
  return ((valeur >> rang) & 1) == 1;
}

}  // namespace ravlo
