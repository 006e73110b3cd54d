# Installing and packaging: `cmake --install` puts Orvalis where a desktop
# finds it, and CPack makes the Debian packages from the same rules
# (scripts/package). Paths are relative to the prefix, /usr in the packages.
#
# Two packages, one a component: orvalis-search (the headless tool and the
# Slurm launcher, no Qt, for cluster nodes and servers) and orvalis (the
# window, its menu entry, icons, default exit scripts and the demo).
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(ORVALIS_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/orvalis)
set(ORVALIS_MAINTAINER "Orvalis developers <orvalis@example.org>")

# The programs.
if(TARGET orvalis)
  install(TARGETS orvalis RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
endif()
install(TARGETS orvalis-search RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT search)
# The launcher finds the tool on PATH once installed (no build/ beside it).
install(PROGRAMS scripts/slurm-search DESTINATION ${CMAKE_INSTALL_BINDIR}
  RENAME orvalis-slurm-search COMPONENT search)

# Man pages, with the version filled in, compressed as Debian wants them.
set(VERSION ${PROJECT_VERSION})
foreach(page orvalis.1:window orvalis-search.1:search orvalis-slurm-search.1:search)
  string(REPLACE ":" ";" page ${page})
  list(GET page 1 component)
  list(GET page 0 page)
  configure_file(${CMAKE_SOURCE_DIR}/doc/${page} ${CMAKE_BINARY_DIR}/doc/${page} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${page}.gz
    COMMAND gzip -9 -n -f -k ${page}
    DEPENDS ${CMAKE_BINARY_DIR}/doc/${page}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/doc VERBATIM)
  list(APPEND ORVALIS_GENERATED ${CMAKE_BINARY_DIR}/doc/${page}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/doc/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()

# The icon: the committed SVG, and PNGs of it at the usual sizes of the
# hicolor theme, rendered at build time.
set(ORVALIS_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(ORVALIS_RSVG_CONVERT rsvg-convert)
if(ORVALIS_RSVG_CONVERT)
  foreach(size ${ORVALIS_ICON_SIZES})
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/orvalis.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${ORVALIS_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/ui/orvalis.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/ui/orvalis.svg VERBATIM)
    list(APPEND ORVALIS_GENERATED ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT window)
  endforeach()
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable icon is installed")
endif()
install(FILES ui/orvalis.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)

# The menu entry and the software centres' description of the window.
install(FILES ui/orvalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)

# The default exit scripts and backdrop that a working folder without res/
# gets copies of.
file(GLOB ORVALIS_DEFAULT_SCRIPTS ${CMAKE_SOURCE_DIR}/res/*.sh)
install(PROGRAMS ${ORVALIS_DEFAULT_SCRIPTS} DESTINATION ${ORVALIS_SHARE_DIR}/res COMPONENT window)
install(FILES res/Dark_Gray_Square.jpg DESTINATION ${ORVALIS_SHARE_DIR}/res COMPONENT window)

# The demo working folder, with the scripts, to copy somewhere writable.
install(DIRECTORY demo/ DESTINATION ${ORVALIS_SHARE_DIR}/demo COMPONENT window)
install(PROGRAMS ${ORVALIS_DEFAULT_SCRIPTS} DESTINATION ${ORVALIS_SHARE_DIR}/demo/res COMPONENT window)

# The Debian packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvalis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvalis developers")
set(CPACK_PACKAGE_CONTACT ${ORVALIS_MAINTAINER})
set(ORVALIS_PACKAGE_OUTPUT ${CMAKE_BINARY_DIR}/package CACHE PATH "Where cpack writes the packages")
set(CPACK_PACKAGE_DIRECTORY ${ORVALIS_PACKAGE_OUTPUT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL search)
if(TARGET orvalis)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE orvalis)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVALIS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the shared libraries each package's
# programs actually load (dpkg-shlibdeps); what they start or load by name
# is listed below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(CPACK_DEBIAN_SEARCH_PACKAGE_NAME orvalis-search)
set(CPACK_DEBIAN_SEARCH_PACKAGE_SUGGESTS slurm-client)
set(CPACK_DEBIAN_SEARCH_DESCRIPTION [=[find a circular region of a photograph in an archive, without a window
Orvalis finds, in a numbered archive of JPEG photographs, the place where a
circular region of a reference picture occurs again, in any rotation.

This package holds the search without a window, for batch use and cluster
nodes (orvalis-search, one JSON line a picture), and orvalis-slurm-search,
which splits an archive into a Slurm job array. It needs no display.]=])

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME orvalis)
# Qt Multimedia finds cameras through GStreamer, whose camera sources are
# plugins that nothing else pulls in: plugins-good holds the V4L2 source of
# every USB webcam (without it camera mode finds no camera), the PipeWire
# plugin the cameras of a PipeWire desktop. The exit scripts show their
# notice with notify-send, so that a start from the menu that fails is seen.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS
  "gstreamer1.0-pipewire, libnotify-bin, orvalis-search (= ${CPACK_DEBIAN_VERSION})")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION [=[find a circular region of a photograph in an archive, in any rotation
Orvalis finds, in a numbered archive of JPEG photographs, the place where a
circular region of a reference picture occurs again, in any rotation. The
reference is a still file or a live camera frame.

This package holds the window (orvalis), its menu entry and a demo working
folder; orvalis-search holds the same search without a window.]=])

# What Debian asks of every package: the copyright file and the changelog,
# in each package's own doc folder, with the README. The changelog's date is
# the sources' (SOURCE_DATE_EPOCH, which scripts/package takes from the
# commit), so that the same sources make the same packages; its distribution
# is the one built on, whose libraries the dependencies name.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ORVALIS_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE ORVALIS_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT ORVALIS_SOURCE_DATE MATCHES "^[0-9]+$")
  set(ORVALIS_SOURCE_DATE 0)
endif()
execute_process(COMMAND date -u -d @${ORVALIS_SOURCE_DATE} "+%a, %d %b %Y %H:%M:%S +0000"
  OUTPUT_VARIABLE ORVALIS_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND date -u -d @${ORVALIS_SOURCE_DATE} +%Y-%m-%d
  OUTPUT_VARIABLE ORVALIS_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ORVALIS_DISTRIBUTION UNRELEASED)
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release ORVALIS_CODENAME REGEX "^VERSION_CODENAME=")
  string(REGEX REPLACE "^VERSION_CODENAME=\"?([a-z]+)\"?$" "\\1" ORVALIS_CODENAME "${ORVALIS_CODENAME}")
  if(ORVALIS_CODENAME MATCHES "^[a-z]+$")
    set(ORVALIS_DISTRIBUTION ${ORVALIS_CODENAME})
  endif()
endif()
configure_file(cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
# The copyright file holds LICENSE itself, as its MIT licence paragraph.
file(READ LICENSE ORVALIS_LICENSE_TEXT)
string(STRIP "${ORVALIS_LICENSE_TEXT}" ORVALIS_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" ORVALIS_LICENSE_TEXT "${ORVALIS_LICENSE_TEXT}")
string(REPLACE "\n" "\n " ORVALIS_LICENSE_TEXT " ${ORVALIS_LICENSE_TEXT}")
configure_file(cmake/debian/copyright.in ${CMAKE_BINARY_DIR}/debian/copyright @ONLY)
configure_file(ui/org.orvalis.Orvalis.metainfo.xml.in ${CMAKE_BINARY_DIR}/org.orvalis.Orvalis.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/org.orvalis.Orvalis.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT window)
foreach(file changelog.Debian README.md)
  if(file STREQUAL README.md)
    configure_file(README.md ${CMAKE_BINARY_DIR}/debian/README.md COPYONLY)
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/${file}.gz
    COMMAND gzip -9 -n -f -k ${file}
    DEPENDS ${CMAKE_BINARY_DIR}/debian/${file}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/debian VERBATIM)
  list(APPEND ORVALIS_GENERATED ${CMAKE_BINARY_DIR}/debian/${file}.gz)
endforeach()
add_custom_target(orvalis_install_files ALL DEPENDS ${ORVALIS_GENERATED})
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
    ${CMAKE_BINARY_DIR}/debian/README.md.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()

include(CPack)
