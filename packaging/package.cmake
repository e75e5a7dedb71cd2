# The Debian package: CPack's DEB generator over the install rules above, made
# by scripts/package.sh in a build of its own (prefix /usr, Debian's compiler
# flags, VELMORA_DEBIAN_PACKAGE on).

option(VELMORA_DEBIAN_PACKAGE "Install the Debian package's own files too (its changelog)" OFF)

set(deb_version_file ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog.in)
# The package's version is the first line of its changelog: "velmora (<version>-<revision>) ..."
file(STRINGS ${deb_version_file} deb_first_line LIMIT_COUNT 1)
if(NOT deb_first_line MATCHES "^velmora \\(([^-]+)-([0-9]+)\\) ")
  message(FATAL_ERROR "${deb_version_file}: the first line names no version")
endif()
set(deb_upstream_version ${CMAKE_MATCH_1})
set(deb_revision ${CMAKE_MATCH_2})

if(VELMORA_DEBIAN_PACKAGE)
  if(NOT deb_upstream_version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/debian/changelog.in is for ${deb_upstream_version}, the project is ${PROJECT_VERSION}: add an entry")
  endif()
  configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/gz/changelog.Debian.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
    COMMAND sh -c "gzip -9 -n -c \"$1\" >\"$2\"" sh ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog ${gz}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
  add_custom_target(velmora_debian_changelog ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${deb_revision})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT "The Velmora developers <developers@${VELMORA_SITE_HOST}>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${VELMORA_SITE_HOST}/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "alerts when this computer's IP address changes")
# The extended description; CPack puts the summary above it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Velmora watches this computer's public IP address and its local address.
When either changes it sends an e-mail, a text message through a mobile
carrier's e-mail-to-SMS gateway, starts a program or uploads a web page by
FTP, and writes a line to a history log.

velmora-service runs in the background for each user's session (a systemd
user unit, enabled for every user); the velmora window lives in the
notification area, edits the alert settings and shows the history.")
# The libraries from the programs themselves; the SVG plugin (the window's
# pictures) is loaded at run time, so no program names it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# xdg-open for the window's links and files; the Wayland platform for Wayland sessions;
# apprise for the push alerts' Apprise URLs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland, apprise")
# The autostart entry is in /etc: the administrator's to change, so a conffile.
configure_file(debian/conffiles.in ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/deb)
include(CPack)
