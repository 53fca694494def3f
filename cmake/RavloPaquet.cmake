# SPDX-License-Identifier: MPL-2.0
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
# Comprimé sous <build>/paquet/<destination>/ : deux pages de même nom, en deux langues, ne se
# mêlent pas.
function(ravlo_comprimer source destination)
  get_filename_component(nom ${source} NAME)
  set(dossier ${RAVLO_DOCS_PAQUET}/${destination})
  add_custom_command(
    OUTPUT ${dossier}/${nom}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${dossier}/${nom}
    COMMAND ${RAVLO_GZIP} -9nf ${dossier}/${nom}
    DEPENDS ${source}
    VERBATIM)
  install(FILES ${dossier}/${nom}.gz DESTINATION ${destination})
  set(docs_comprimees ${docs_comprimees} ${dossier}/${nom}.gz PARENT_SCOPE)
endfunction()
# Les pages en anglais (paquet/man/en/) sous man1, que lit toute langue sans pages à elle ; les
# françaises (paquet/man/) sous fr/man1, que man choisit sous une locale française.
foreach(page ravlo-link ravlo-envoi ravlo-recepteur)
  foreach(langue en fr)
    if(langue STREQUAL "en")
      set(source ${PROJECT_SOURCE_DIR}/paquet/man/en/${page}.1.in)
      set(destination ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      set(source ${PROJECT_SOURCE_DIR}/paquet/man/${page}.1.in)
      set(destination ${CMAKE_INSTALL_MANDIR}/fr/man1)
    endif()
    configure_file(${source} ${PROJECT_BINARY_DIR}/paquet/man/${langue}/${page}.1 @ONLY)
    ravlo_comprimer(${PROJECT_BINARY_DIR}/paquet/man/${langue}/${page}.1 ${destination})
  endforeach()
endforeach()
set(RAVLO_DOC_PAQUET ${CMAKE_INSTALL_DATADIR}/doc/ravlo-link)
ravlo_comprimer(${PROJECT_SOURCE_DIR}/paquet/changelog ${RAVLO_DOC_PAQUET})
add_custom_target(ravlo_docs_paquet ALL DEPENDS ${docs_comprimees})
install(FILES ${PROJECT_SOURCE_DIR}/paquet/copyright DESTINATION ${RAVLO_DOC_PAQUET})

# Le récepteur comme service : l'unité système (livrée désactivée), l'unité de l'utilisateur,
# l'utilisateur du service (sysusers.d) et la configuration du système, fichier de
# configuration du paquet (conffile) : une mise à jour ne la remplace pas en silence.
# Debian 12 garde les unités du système sous /lib ; un autre préfixe les garde chez lui.
set(RAVLO_UNITES_SYSTEME ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(RAVLO_UNITES_SYSTEME /lib/systemd/system)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/paquet/systemd/ravlo-recepteur.service
        DESTINATION ${RAVLO_UNITES_SYSTEME})
install(FILES ${PROJECT_SOURCE_DIR}/paquet/systemd/ravlo-recepteur.user.service
        DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/user RENAME ravlo-recepteur.service)
install(FILES ${PROJECT_SOURCE_DIR}/paquet/systemd/ravlo-recepteur.sysusers
        DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d RENAME ravlo-recepteur.conf)
install(FILES ${PROJECT_SOURCE_DIR}/paquet/systemd/recepteur.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/ravlo)
configure_file(${PROJECT_SOURCE_DIR}/paquet/debian/conffiles.in
               ${PROJECT_BINARY_DIR}/paquet/debian/conffiles @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/paquet/debian/postinst
               ${PROJECT_BINARY_DIR}/paquet/debian/postinst COPYONLY)

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
# démons du bureau ; le récepteur dit son code avec les voix d'espeak-ng.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, espeak-ng-data")
# postinst crée l'utilisateur du service ; rien n'active ni ne démarre l'unité système.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/paquet/debian/conffiles
                                       ${PROJECT_BINARY_DIR}/paquet/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, pipewire-pulse | pulseaudio")
include(CPack)
