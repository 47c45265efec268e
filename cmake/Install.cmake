# Install rules and the Debian package. The program is one file: the metafile reader and the
# image readers Qt lacks are linked in, so there is no plugin to install.
include(GNUInstallDirs)

install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop file and what software centres read about the program; one component, so a test
# can install and check just these.
install(FILES ${PROJECT_SOURCE_DIR}/data/org.quorvel.Quorvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.quorvel.Quorvel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)

# The icon theme tree is made at build time by tools/make_icons (target icons).
if(TARGET icons)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvel developers")
set(CPACK_PACKAGE_CONTACT "Quorvel developers")
# One line; Debian takes it as the package description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture browser with a full-screen picture show")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvel developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# dpkg-shlibdeps works out the shared libraries' packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libwmf is linked in statically, so dpkg-shlibdeps cannot see it; it draws metafile text with
# these fonts, which its own package recommends too.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-urw-base35")
include(CPack)
