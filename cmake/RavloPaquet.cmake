# Installation des programmes et paquet Debian (cpack -G DEB, ou cpack --preset paquet).
# Inclus à la fin du CMakeLists racine, quand toutes les cibles existent.
foreach(programme ravlo-envoi ravlo-recepteur)
  if(TARGET ${programme})
    install(TARGETS ${programme} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(CPACK_PACKAGE_NAME ravlo-link)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_CONTACT "Ravlo Link <ravlo-link@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Envoie le son de l'ordinateur vers l'app Ravlo du téléphone, chiffré, sur le réseau local")
# Les chemins compilés dans les programmes (catalogues, polices) sont ceux du préfixe
# d'installation : le paquet s'installe au même endroit.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sans greffon de plateforme, Qt n'affiche rien ; la recherche et le son passent par les
# démons du bureau.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, pipewire-pulse | pulseaudio")
include(CPack)
