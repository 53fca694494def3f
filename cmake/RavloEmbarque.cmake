# SPDX-License-Identifier: MPL-2.0
# Des fichiers livrés dans le programme même : le serveur web les sert depuis la mémoire, rien
# n'est lu sur le disque ni pris ailleurs à l'exécution.

# ravlo_embarquer(<cible> RACINE <dossier> FONCTION <nom> FICHIERS <fichier>…
#                 [DEPENDS <cible>…])
# Fait la bibliothèque <cible>, dont `std::span<const ravlo::RessourceWeb> ravlo::<nom>()` rend
# chaque fichier sous son chemin relatif à RACINE, précédé de « / ». Un fichier d'ailleurs (un
# fichier construit) s'écrit « <nom servi>=<chemin absolu> » ; DEPENDS nomme les cibles qui le
# font. Refaite quand un fichier change.
set(RAVLO_EMBARQUE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embarquer.cmake)
function(ravlo_embarquer cible)
  cmake_parse_arguments(E "" "RACINE;FONCTION" "FICHIERS;DEPENDS" ${ARGN})
  set(sortie ${CMAKE_CURRENT_BINARY_DIR}/${cible}.cpp)
  set(absolus)
  set(paires)
  foreach(f ${E_FICHIERS})
    if(f MATCHES "^([^=]+)=(.+)$")
      set(nom ${CMAKE_MATCH_1})
      set(chemin ${CMAKE_MATCH_2})
    else()
      set(nom ${f})
      set(chemin ${E_RACINE}/${f})
    endif()
    list(APPEND absolus ${chemin})
    list(APPEND paires "${nom}>${chemin}")
  endforeach()
  string(REPLACE ";" "|" liste "${paires}")
  add_custom_command(OUTPUT ${sortie}
    COMMAND ${CMAKE_COMMAND} -DFICHIERS=${liste} -DFONCTION=${E_FONCTION}
            -DSORTIE=${sortie} -P ${RAVLO_EMBARQUE_SCRIPT}
    DEPENDS ${absolus} ${RAVLO_EMBARQUE_SCRIPT}
    COMMENT "embarque ${cible}"
    VERBATIM)
  # Hors de ALL : construite, et ses fichiers construits avec, pour qui la lie.
  add_library(${cible} STATIC EXCLUDE_FROM_ALL ${sortie})
  target_link_libraries(${cible} PUBLIC ravlo_web)
  if(E_DEPENDS)
    add_dependencies(${cible} ${E_DEPENDS})
  endif()
endfunction()
