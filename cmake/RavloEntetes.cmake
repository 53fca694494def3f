# SPDX-License-Identifier: MPL-2.0
# Chaque bibliothèque n'expose que ses propres en-têtes : une cible n'inclut que les siens et
# ceux des cibles qu'elle lie, et CMake garde ainsi les couches.

# ravlo_entetes(<cible> [RACINE <dossier>] [DOSSIERS <dossier>…] [RECURSIFS <dossier>…]
#               [FICHIERS <fichier>…])
# Expose à <cible> et à qui la lie les *.hpp de DOSSIERS (ce dossier seul), de RECURSIFS
# (sous-dossiers compris) et les FICHIERS, chemins relatifs à RACINE (la source par défaut).
# Ils paraissent par des liens sous <build>/entetes/<cible>/ au même chemin relatif : un
# « #include "plateforme/pulseaudio/x.hpp" » reste tel quel. Les dossiers sont relus à chaque
# construction : un en-tête ajouté, renommé ou retiré y suit sans toucher à l'appel.
function(ravlo_entetes cible)
  cmake_parse_arguments(E "" "RACINE" "DOSSIERS;RECURSIFS;FICHIERS" ${ARGN})
  if(NOT E_RACINE)
    set(E_RACINE ${PROJECT_SOURCE_DIR})
  endif()
  set(entetes)
  foreach(dossier ${E_DOSSIERS})
    file(GLOB trouves CONFIGURE_DEPENDS ${E_RACINE}/${dossier}/*.hpp)
    list(APPEND entetes ${trouves})
  endforeach()
  foreach(dossier ${E_RECURSIFS})
    file(GLOB_RECURSE trouves CONFIGURE_DEPENDS ${E_RACINE}/${dossier}/*.hpp)
    list(APPEND entetes ${trouves})
  endforeach()
  foreach(fichier ${E_FICHIERS})
    list(APPEND entetes ${E_RACINE}/${fichier})
  endforeach()
  # Refait à chaque configuration : pas de lien vers un en-tête qui n'est plus.
  set(sortie ${PROJECT_BINARY_DIR}/entetes/${cible})
  file(REMOVE_RECURSE ${sortie})
  file(MAKE_DIRECTORY ${sortie})
  foreach(entete ${entetes})
    file(RELATIVE_PATH chemin ${E_RACINE} ${entete})
    get_filename_component(parent ${sortie}/${chemin} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${entete} ${sortie}/${chemin} SYMBOLIC)
  endforeach()
  target_include_directories(${cible} PUBLIC ${sortie})
endfunction()
