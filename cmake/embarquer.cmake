# SPDX-License-Identifier: MPL-2.0
# cmake -DFICHIERS=nom>chemin|… -DFONCTION=… -DSORTIE=… -P embarquer.cmake
string(REPLACE "|" ";" paires "${FICHIERS}")
set(tableaux "")
set(entrees "")
set(n 0)
foreach(p ${paires})
  string(REPLACE ">" ";" p "${p}")
  list(GET p 0 nom)
  list(GET p 1 chemin)
  file(READ ${chemin} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," octets "${hex}")
  string(LENGTH "${hex}" longueur)
  math(EXPR taille "${longueur} / 2")
  string(APPEND tableaux "alignas(16) constexpr std::uint8_t f${n}[${taille} + 1] = {${octets}0};\n")
  string(APPEND entrees "    RessourceWeb{\"/${nom}\", std::span<const std::uint8_t>(f${n}, ${taille})},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${SORTIE}.tmp "// Fait par cmake/embarquer.cmake : ne pas modifier.\n"
  "#include <cstdint>\n#include <span>\n\n#include \"link/ressources/page/page_embarquee.hpp\"\n\n"
  "namespace ravlo {\nnamespace {\n${tableaux}}  // namespace\n\n"
  "std::span<const RessourceWeb> ${FONCTION}() {\n"
  "  static constexpr RessourceWeb ressources[] = {\n${entrees}  };\n  return ressources;\n}\n\n"
  "}  // namespace ravlo\n")
file(COPY_FILE ${SORTIE}.tmp ${SORTIE} ONLY_IF_DIFFERENT)
