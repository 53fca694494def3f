# Installation des programmes et paquet Debian (cpack -G DEB, ou cpack --preset paquet).
# Inclus à la fin du CMakeLists racine, quand toutes les cibles existent.
foreach(programme ravlo-envoi ravlo-recepteur)
  if(TARGET ${programme})
    install(TARGETS ${programme} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Ce que le paquet porte à côté des programmes (paquet/) : pages de manuel et changelog
# comprimés par gzip -9n, sans nom ni date, pour qu'une même source donne un même paquet ;
# le copyright tel quel, comme Debian le veut.
find_program(RAVLO_GZIP gzip REQUIRED)
set(RAVLO_DOCS_PAQUET ${PROJECT_BINARY_DIR}/paquet)
set(docs_comprimees)
function(ravlo_comprimer source destination)
  get_filename_component(nom ${source} NAME)
  add_custom_command(
    OUTPUT ${RAVLO_DOCS_PAQUET}/${nom}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${RAVLO_DOCS_PAQUET}/${nom}
    COMMAND ${RAVLO_GZIP} -9nf ${RAVLO_DOCS_PAQUET}/${nom}
    DEPENDS ${source}
    VERBATIM)
  install(FILES ${RAVLO_DOCS_PAQUET}/${nom}.gz DESTINATION ${destination})
  set(docs_comprimees ${docs_comprimees} ${RAVLO_DOCS_PAQUET}/${nom}.gz PARENT_SCOPE)
endfunction()
foreach(page ravlo-link ravlo-envoi ravlo-recepteur)
  configure_file(${PROJECT_SOURCE_DIR}/paquet/man/${page}.1.in
                 ${PROJECT_BINARY_DIR}/paquet/man/${page}.1 @ONLY)
  ravlo_comprimer(${PROJECT_BINARY_DIR}/paquet/man/${page}.1 ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(RAVLO_DOC_PAQUET ${CMAKE_INSTALL_DATADIR}/doc/ravlo-link)
ravlo_comprimer(${PROJECT_SOURCE_DIR}/paquet/changelog ${RAVLO_DOC_PAQUET})
add_custom_target(ravlo_docs_paquet ALL DEPENDS ${docs_comprimees})
install(FILES ${PROJECT_SOURCE_DIR}/paquet/copyright DESTINATION ${RAVLO_DOC_PAQUET})

set(CPACK_PACKAGE_NAME ravlo-link)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ravlo Link <ravlo-link@ravlo-link.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "envoie le son de l'ordinateur, chiffré, vers un récepteur du réseau local")
set(CPACK_PACKAGE_DESCRIPTION
    "Ravlo Link envoie tout ce que joue un ordinateur Linux vers un récepteur
Ravlo du même réseau local : PCM 48 kHz stéréo 16 bits en UDP, sans câble et
sans retard audible. Un appairage par code à 4 chiffres fixe deux clés sans
jamais envoyer le code, et chaque datagramme est scellé par ChaCha20-Poly1305.

Le paquet contient ravlo-link, l'application de la zone de notification,
ravlo-envoi, l'envoi en ligne de commande, et ravlo-recepteur, un récepteur
pour Linux.")
# Les chemins compilés dans les programmes (catalogues, polices) sont ceux du préfixe
# d'installation : le paquet s'installe au même endroit.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sans greffon de plateforme, Qt n'affiche rien ; la recherche et le son passent par les
# démons du bureau.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, pipewire-pulse | pulseaudio")
include(CPack)
