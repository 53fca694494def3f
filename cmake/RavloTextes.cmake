# Catalogues de la table de textes "Localizable" (gettext, phrase française pour clé).
find_program(RAVLO_MSGFMT msgfmt REQUIRED)
find_program(RAVLO_XGETTEXT xgettext REQUIRED)

# ravlo_catalogues(<cible> DOSSIER_PO <dossier> SORTIE <racine>)
# Compile chaque <dossier>/<locale>.po en <racine>/<locale>/LC_MESSAGES/Localizable.mo, la
# disposition que TableTextes lit.
function(ravlo_catalogues cible)
  cmake_parse_arguments(C "" "DOSSIER_PO;SORTIE" "" ${ARGN})
  file(GLOB sources_po CONFIGURE_DEPENDS ${C_DOSSIER_PO}/*.po)
  set(catalogues)
  foreach(po ${sources_po})
    get_filename_component(locale ${po} NAME_WLE)
    set(dossier ${C_SORTIE}/${locale}/LC_MESSAGES)
    add_custom_command(
      OUTPUT ${dossier}/Localizable.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dossier}
      COMMAND ${RAVLO_MSGFMT} --check --output-file=${dossier}/Localizable.mo ${po}
      DEPENDS ${po}
      COMMENT "msgfmt ${locale}"
      VERBATIM)
    list(APPEND catalogues ${dossier}/Localizable.mo)
  endforeach()
  add_custom_target(${cible} ALL DEPENDS ${catalogues})
endfunction()
