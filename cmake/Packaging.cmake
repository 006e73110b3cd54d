# Installing and packaging: `cmake --install` puts Orvalis where a desktop
# finds it, and CPack makes the Debian package from the same rules
# (scripts/package). Paths are relative to the prefix, /usr in the package.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(ORVALIS_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/orvalis)
set(ORVALIS_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/orvalis)
set(ORVALIS_MAINTAINER "Orvalis developers <orvalis@example.org>")

# The programs.
if(TARGET orvalis)
  install(TARGETS orvalis RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS orvalis-search RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages, with the version filled in, compressed as Debian wants them.
set(VERSION ${PROJECT_VERSION})
set(ORVALIS_MAN_PAGES)
foreach(page orvalis.1 orvalis-search.1)
  configure_file(${CMAKE_SOURCE_DIR}/doc/${page} ${CMAKE_BINARY_DIR}/doc/${page} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${page}.gz
    COMMAND gzip -9 -n -f -k ${page}
    DEPENDS ${CMAKE_BINARY_DIR}/doc/${page}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/doc VERBATIM)
  list(APPEND ORVALIS_MAN_PAGES ${CMAKE_BINARY_DIR}/doc/${page}.gz)
endforeach()

# The icon: the committed SVG, and PNGs of it at the usual sizes of the
# hicolor theme, rendered at build time.
set(ORVALIS_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ORVALIS_ICONS)
find_program(ORVALIS_RSVG_CONVERT rsvg-convert)
if(ORVALIS_RSVG_CONVERT)
  foreach(size ${ORVALIS_ICON_SIZES})
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/orvalis.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${ORVALIS_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/ui/orvalis.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/ui/orvalis.svg VERBATIM)
    list(APPEND ORVALIS_ICONS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable icon is installed")
endif()
install(FILES ui/orvalis.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
add_custom_target(orvalis_install_files ALL DEPENDS ${ORVALIS_MAN_PAGES} ${ORVALIS_ICONS})
install(FILES ${ORVALIS_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The menu entry, and the default exit scripts and backdrop that a working
# folder without res/ gets copies of.
install(FILES ui/orvalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
file(GLOB ORVALIS_DEFAULT_SCRIPTS ${CMAKE_SOURCE_DIR}/res/*.sh)
install(PROGRAMS ${ORVALIS_DEFAULT_SCRIPTS} DESTINATION ${ORVALIS_SHARE_DIR}/res)
install(FILES res/Dark_Gray_Square.jpg DESTINATION ${ORVALIS_SHARE_DIR}/res)

# The demo working folder, with the scripts, to copy somewhere writable.
install(DIRECTORY demo/ DESTINATION ${ORVALIS_SHARE_DIR}/demo)
install(PROGRAMS ${ORVALIS_DEFAULT_SCRIPTS} DESTINATION ${ORVALIS_SHARE_DIR}/demo/res)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvalis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvalis developers")
set(CPACK_PACKAGE_CONTACT ${ORVALIS_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find a circular region of a photograph in an archive, in any rotation")
set(CPACK_PACKAGE_DESCRIPTION [=[
Orvalis finds, in a numbered archive of JPEG photographs, the place where a
circular region of a reference picture occurs again, in any rotation. The
reference is a still file or a live camera frame.

The package holds the window (orvalis), the same search without a window for
batch use (orvalis-search) and a demo working folder.]=])
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVALIS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the shared libraries the programs actually load (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libnotify-bin)

# What Debian asks of every package: the copyright file and the changelog.
set(CPACK_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
configure_file(cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND gzip -9 -n -f -k changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/debian VERBATIM)
add_custom_target(orvalis_debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  DESTINATION ${ORVALIS_DOC_DIR})

include(CPack)
