# SPDX-License-Identifier: MPL-2.0
# Catalogues de la table de textes (gettext, phrase française pour clé), du domaine
# ravlo-link : le nom du paquet, qu'aucun autre paquet ne prend sous /usr/share/locale.
find_program(RAVLO_MSGFMT msgfmt REQUIRED)
find_program(RAVLO_XGETTEXT xgettext REQUIRED)
set(RAVLO_DOMAINE_TEXTES ravlo-link)

# ravlo_catalogues(<cible> DOSSIER_PO <dossier> SORTIE <racine> [INSTALLER])
# Compile chaque <dossier>/<locale>.po en <racine>/<locale>/LC_MESSAGES/ravlo-link.mo, la
# disposition que TableTextes lit. INSTALLER les installe sous share/locale (composant textes),
# fichier par fichier : un catalogue resté d'une ancienne construction ne part pas avec eux.
function(ravlo_catalogues cible)
  cmake_parse_arguments(C "INSTALLER" "DOSSIER_PO;SORTIE" "" ${ARGN})
  file(GLOB sources_po CONFIGURE_DEPENDS ${C_DOSSIER_PO}/*.po)
  set(catalogues)
  foreach(po ${sources_po})
    get_filename_component(locale ${po} NAME_WLE)
    set(dossier ${C_SORTIE}/${locale}/LC_MESSAGES)
    add_custom_command(
      OUTPUT ${dossier}/${RAVLO_DOMAINE_TEXTES}.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dossier}
      COMMAND ${RAVLO_MSGFMT} --check --output-file=${dossier}/${RAVLO_DOMAINE_TEXTES}.mo ${po}
      DEPENDS ${po}
      COMMENT "msgfmt ${locale}"
      VERBATIM)
    list(APPEND catalogues ${dossier}/${RAVLO_DOMAINE_TEXTES}.mo)
    if(C_INSTALLER)
      install(FILES ${dossier}/${RAVLO_DOMAINE_TEXTES}.mo
              DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${locale}/LC_MESSAGES COMPONENT textes)
    endif()
  endforeach()
  add_custom_target(${cible} ALL DEPENDS ${catalogues})
endfunction()
