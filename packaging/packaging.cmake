# What `cmake --install` puts where, and the package CPack makes of it: a
# Debian package on Linux (`make package`), a zip on Windows.
include(GNUInstallDirs)

if(WIN32)
  # One folder, as the player unpacks it: the program finds the loop beside itself.
  set(TAJA_INSTALL_GAMESDIR .)
  set(TAJA_INSTALL_MUSICDIR .)
else()
  set(TAJA_INSTALL_GAMESDIR games CACHE STRING
    "Folder of the installed program under the prefix (Debian's place for games; bin works too)")
  set(TAJA_INSTALL_MUSICDIR ${CMAKE_INSTALL_DATADIR}/taja-duel)
endif()
set(TAJA_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/taja-duel)

# The installed program finds its music from its own folder, so the same
# build works under any prefix, --prefix or DESTDIR.
foreach(dir GAMESDIR MUSICDIR)
  if(IS_ABSOLUTE "${TAJA_INSTALL_${dir}}")
    set(full_${dir} "${TAJA_INSTALL_${dir}}")
  else()
    set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${TAJA_INSTALL_${dir}}")
  endif()
endforeach()
file(RELATIVE_PATH TAJA_MUSIC_FROM_GAMES "${full_GAMESDIR}" "${full_MUSICDIR}")
if(NOT TAJA_MUSIC_FROM_GAMES)
  set(TAJA_MUSIC_FROM_GAMES .)
endif()
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/sound/music_alsa.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS TAJA_DUEL_DATA_FROM_EXE="${TAJA_MUSIC_FROM_GAMES}")

install(TARGETS taja-duel RUNTIME DESTINATION ${TAJA_INSTALL_GAMESDIR})
install(FILES ${CMAKE_BINARY_DIR}/music.wav DESTINATION ${TAJA_INSTALL_MUSICDIR})

if(WIN32)
  # Notepad wants CR LF.
  configure_file(${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY
    NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
else()
  # The manual page and the changelog, compressed as Debian wants them
  # (gzip -n: no name or time stamp inside, so equal builds give equal files).
  configure_file(${CMAKE_SOURCE_DIR}/doc/taja-duel.6.in ${CMAKE_BINARY_DIR}/doc/taja-duel.6 @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/doc/changelog COPYONLY)
  find_program(TAJA_GZIP gzip REQUIRED)
  set(TAJA_DOCS)
  foreach(doc taja-duel.6 changelog)
    set(in ${CMAKE_BINARY_DIR}/doc/${doc})
    add_custom_command(OUTPUT ${in}.gz COMMAND ${TAJA_GZIP} -9nkf ${in} DEPENDS ${in} VERBATIM)
    list(APPEND TAJA_DOCS ${in}.gz)
  endforeach()
  add_custom_target(taja_docs DEPENDS ${TAJA_DOCS})
  add_dependencies(taja-duel taja_docs)
  install(FILES ${CMAKE_BINARY_DIR}/doc/taja-duel.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
                ${CMAKE_BINARY_DIR}/doc/changelog.gz
          DESTINATION ${TAJA_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME taja-duel)
set(CPACK_PACKAGE_VENDOR "taja-duel maintainers")
set(TAJA_PACKAGE_MAINTAINER "taja-duel maintainers <maintainers@taja-duel.invalid>" CACHE STRING
  "Maintainer named in the package (name <address>)")
set(CPACK_PACKAGE_CONTACT "${TAJA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Two-player Korean typing duel for the terminal")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME taja-duel-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # taja-duel_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from the libraries the program links
  file(READ ${CMAKE_SOURCE_DIR}/packaging/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
endif()
include(CPack)
