# SPDX-License-Identifier: MPL-2.0
# Des fichiers livrés dans le programme même : le serveur web les sert depuis la mémoire, rien
# n'est lu sur le disque ni pris ailleurs à l'exécution.

# ravlo_embarquer(<cible> RACINE <dossier> FONCTION <nom> FICHIERS <fichier>…)
# Fait la bibliothèque <cible>, dont `std::span<const ravlo::RessourceWeb> ravlo::<nom>()` rend
# chaque fichier sous son chemin relatif à RACINE, précédé de « / ». Refaite quand un fichier
# change.
set(RAVLO_EMBARQUE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embarquer.cmake)
function(ravlo_embarquer cible)
  cmake_parse_arguments(E "" "RACINE;FONCTION" "FICHIERS" ${ARGN})
  set(sortie ${CMAKE_CURRENT_BINARY_DIR}/${cible}.cpp)
  set(absolus)
  foreach(f ${E_FICHIERS})
    list(APPEND absolus ${E_RACINE}/${f})
  endforeach()
  string(REPLACE ";" "|" liste "${E_FICHIERS}")
  add_custom_command(OUTPUT ${sortie}
    COMMAND ${CMAKE_COMMAND} -DRACINE=${E_RACINE} -DFICHIERS=${liste} -DFONCTION=${E_FONCTION}
            -DSORTIE=${sortie} -P ${RAVLO_EMBARQUE_SCRIPT}
    DEPENDS ${absolus} ${RAVLO_EMBARQUE_SCRIPT}
    COMMENT "embarque ${cible}"
    VERBATIM)
  add_library(${cible} STATIC ${sortie})
  target_link_libraries(${cible} PUBLIC ravlo_web)
endfunction()
