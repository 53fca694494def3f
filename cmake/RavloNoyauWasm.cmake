# SPDX-License-Identifier: MPL-2.0
# Le noyau du récepteur de la page en WebAssembly (scripts/wasm : clang 19 vers wasm32-wasi,
# libsodium de ses sources), que la page embarquée charge. Sa construction ninja suit les
# en-têtes ; la commande ne tourne ici que si une source de ce qu'il compile a changé, et ce
# qui en dépend n'est refait que si le module a changé (restat de Ninja).
#
# Fait RAVLO_NOYAU_WASM (le fichier) et la cible ravlo_noyau_wasm. Sans la chaîne wasm, la
# configuration s'arrête ici plutôt qu'au milieu de la construction.
# Un noyau déjà construit par un autre arbre de la même source (la suite en construit
# plusieurs, et le module ne dépend pas de leurs options) se reprend tel quel.
set(RAVLO_NOYAU_WASM_FAIT "" CACHE FILEPATH "Noyau WebAssembly déjà construit, repris tel quel")
if(RAVLO_NOYAU_WASM_FAIT)
  if(NOT EXISTS ${RAVLO_NOYAU_WASM_FAIT})
    message(FATAL_ERROR "RAVLO_NOYAU_WASM_FAIT : ${RAVLO_NOYAU_WASM_FAIT} n'existe pas")
  endif()
  set(RAVLO_NOYAU_WASM ${RAVLO_NOYAU_WASM_FAIT})
  add_custom_target(ravlo_noyau_wasm)
  return()
endif()

set(RAVLO_SODIUM_SOURCES "$ENV{RAVLO_SODIUM_SOURCES}" CACHE PATH
    "Sources C de libsodium pour le noyau WebAssembly (scripts/setup les dépose)")
if(NOT RAVLO_SODIUM_SOURCES)
  set(RAVLO_SODIUM_SOURCES /usr/local/src/ravlo/libsodium CACHE PATH "" FORCE)
endif()

set(manques "")
find_program(RAVLO_CLANG_WASM clang++-19)
find_program(RAVLO_CLANG_C_WASM clang-19)
find_program(RAVLO_WASM_LD wasm-ld HINTS /usr/lib/llvm-19/bin NO_DEFAULT_PATH)
find_program(RAVLO_NINJA_WASM ninja)
foreach(outil RAVLO_CLANG_WASM:clang-19 RAVLO_CLANG_C_WASM:clang-19 RAVLO_WASM_LD:lld-19
        RAVLO_NINJA_WASM:ninja-build)
  string(REPLACE ":" ";" paire ${outil})
  list(GET paire 0 variable)
  list(GET paire 1 paquet)
  if(NOT ${variable})
    list(APPEND manques ${paquet})
  endif()
endforeach()
foreach(fichier /usr/lib/wasm32-wasi/crt1-reactor.o:wasi-libc
        /usr/lib/llvm-19/lib/wasm32-wasi/libc++.a:libc++-19-dev-wasm32
        /usr/lib/llvm-19/lib/clang/19/lib/wasi/libclang_rt.builtins-wasm32.a:libclang-rt-19-dev-wasm32)
  string(REPLACE ":" ";" paire ${fichier})
  list(GET paire 0 chemin)
  list(GET paire 1 paquet)
  if(NOT EXISTS ${chemin})
    list(APPEND manques ${paquet})
  endif()
endforeach()
if(NOT EXISTS ${RAVLO_SODIUM_SOURCES}/src/libsodium/include/sodium.h)
  list(APPEND manques "sources de libsodium sous ${RAVLO_SODIUM_SOURCES}")
endif()
if(manques)
  list(REMOVE_DUPLICATES manques)
  list(JOIN manques ", " liste)
  message(FATAL_ERROR "Le noyau WebAssembly de la page ne peut pas se construire, il manque : "
                      "${liste}. Lancer scripts/setup (ou donner RAVLO_SODIUM_SOURCES).")
endif()

set(RAVLO_NOYAU_WASM ${PROJECT_BINARY_DIR}/wasm/ravlo-noyau.wasm)
file(GLOB_RECURSE sources_noyau CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/protocol/*.cpp ${PROJECT_SOURCE_DIR}/protocol/*.hpp
     ${PROJECT_SOURCE_DIR}/recepteur/*.cpp ${PROJECT_SOURCE_DIR}/recepteur/*.hpp
     ${PROJECT_SOURCE_DIR}/navigateur/noyau/*.cpp ${PROJECT_SOURCE_DIR}/navigateur/noyau/*.hpp)
add_custom_command(OUTPUT ${RAVLO_NOYAU_WASM}
  COMMAND ${CMAKE_COMMAND} -E env RAVLO_SODIUM_SOURCES=${RAVLO_SODIUM_SOURCES}
          bash ${PROJECT_SOURCE_DIR}/scripts/wasm ${PROJECT_BINARY_DIR}/wasm
  DEPENDS ${sources_noyau} ${PROJECT_SOURCE_DIR}/scripts/wasm
  COMMENT "Noyau WebAssembly de la page"
  USES_TERMINAL
  VERBATIM)
add_custom_target(ravlo_noyau_wasm DEPENDS ${RAVLO_NOYAU_WASM})
