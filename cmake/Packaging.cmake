# The Debian package: what a user installs. It holds the install component
# `quellio` only; the development collector is installed apart from it.

set(QUELLIO_MAINTAINER "Zentrik Quellio team <quellio@zentrik.com>")
# The day the version in project() was released.
set(QUELLIO_RELEASE_DATE 2026-12-06)
execute_process(COMMAND date -u -R -d "${QUELLIO_RELEASE_DATE}"
  OUTPUT_VARIABLE QUELLIO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

set(pkg "${PROJECT_SOURCE_DIR}/resources/packaging")
set(gen "${PROJECT_BINARY_DIR}/packaging")
configure_file(${pkg}/com.zentrik.quellio.metainfo.xml.in ${gen}/com.zentrik.quellio.metainfo.xml @ONLY)
configure_file(${pkg}/changelog.in ${gen}/changelog @ONLY)
install(FILES ${gen}/com.zentrik.quellio.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants documentation and manual pages compressed, reproducibly.
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${gen}/changelog.gz
  COMMAND ${GZIP} -9nc ${gen}/changelog > ${gen}/changelog.gz
  DEPENDS ${gen}/changelog VERBATIM)
set(docs ${gen}/changelog.gz)

# Manual pages from the programs' own --help, so that they never disagree.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  foreach(program quellio quellio-cli)
    if(program STREQUAL "quellio")
      set(name "sound-effect board for live broadcasters")
    else()
      set(name "play, list and record Quellio sound effects from the command line")
    endif()
    add_custom_command(OUTPUT ${gen}/${program}.1.gz
      COMMAND ${HELP2MAN} --locale=C.UTF-8 --no-info --section=1 --name=${name} --output=${gen}/${program}.1 $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${gen}/${program}.1
      DEPENDS ${program} VERBATIM)
    list(APPEND docs ${gen}/${program}.1.gz)
    install(FILES ${gen}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found: no manual pages (scripts/setup-deps installs it)")
endif()
add_custom_target(package-docs ALL DEPENDS ${docs})
# Debian looks for them under the package's name.
install(FILES ${gen}/changelog.gz ${pkg}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellio)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellio)
set(CPACK_PACKAGE_VENDOR Zentrik)
set(CPACK_PACKAGE_CONTACT "${QUELLIO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound-effect board for live broadcasters")
# Follows the summary line in the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quellio (声匣) plays sound effects live: tap an effect on the board to play it,
tap it again to stop it. Its maker records a take and voice-changes it, and
the user's collection keeps favourites and recordings. A virtual microphone
carries the effects into OBS, Discord or a browser; D-Bus, a command line
(quellio-cli) and global hotkeys fire them from outside the window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.zentrik.com/quellio/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the native Wayland platform as a plugin, out of dpkg-shlibdeps'
# sight (the SVG plugins come with libqt6svg6, which the program links).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Quellio;quellio;/")
include(CPack)
