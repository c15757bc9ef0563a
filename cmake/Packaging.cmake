# Installation of the desktop program and packaging with CPack. Included at the end of the top
# CMakeLists.txt, once every program's target exists.

set(PELLORIN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(PELLORIN_ICON_SIZES 16x16 32x32 128x128)

# pellorin_install_desktop_files()
# Installs the desktop program `pellorin` with what a Linux desktop needs to show it: its menu
# entry, its AppStream description and its icons. Called below when the target exists, so the
# program's own CMakeLists.txt needs no install rule. Does its work once.
function(pellorin_install_desktop_files)
  get_property(done GLOBAL PROPERTY PELLORIN_DESKTOP_FILES_INSTALLED)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY PELLORIN_DESKTOP_FILES_INSTALLED TRUE)

  include(GNUInstallDirs)
  install(TARGETS pellorin RUNTIME DESTINATION ${PELLORIN_PROGRAM_DIR})
  if(WIN32)
    return()
  endif()
  install(FILES ${PELLORIN_PACKAGING_DIR}/pellorin.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PELLORIN_PACKAGING_DIR}/io.example.Pellorin.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size IN LISTS PELLORIN_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${size}/pellorin.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
  endforeach()
endfunction()

# The menu entry starts `pellorin`: it is installed with that program, never without it.
if(TARGET pellorin)
  pellorin_install_desktop_files()
endif()

# The license: beside the two programs in the Windows ZIP, as LICENSE.txt so that a double click
# opens it; in the .deb, the copyright file below.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${PELLORIN_PROGRAM_DIR}
          RENAME LICENSE.txt)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/Documentation.cmake)
  # The watch as a systemd user unit: `systemctl --user enable --now pellorin-watch`.
  install(FILES ${PELLORIN_PACKAGING_DIR}/pellorin-watch.service DESTINATION lib/systemd/user)
endif()

set(CPACK_PACKAGE_NAME pellorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pellorin Project")
set(CPACK_PACKAGE_CONTACT "Pellorin Project <pellorin@example.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://pellorin.example.com/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "File music into folders named after their artist")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Pellorin reads the artist from each music file's name, makes sure a folder of"
  "that name exists under a root folder, and moves the file into it, reporting"
  "every step. When a name does not show the artist it asks. pellorin-move does"
  "the same from a terminal or a script.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The ZIP, and an installer for the whole machine, made by NSIS from our own template.
  set(CPACK_GENERATOR ZIP NSIS64)
  list(PREPEND CMAKE_MODULE_PATH ${PELLORIN_PACKAGING_DIR}/windows)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_PELLORIN_DISPLAY_VERSION ${PELLORIN_VERSION_STRING})
  set(CPACK_PELLORIN_ICON ${PELLORIN_ICON_PATH})
  set(CPACK_PELLORIN_COPYRIGHT ${PELLORIN_COPYRIGHT})
  set(CPACK_PROJECT_CONFIG_FILE ${PELLORIN_PACKAGING_DIR}/windows/package_names.cmake)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link, as dpkg-shlibdeps (package dpkg-dev) finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
