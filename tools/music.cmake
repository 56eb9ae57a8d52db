# The background loop bundled with the program: a small generator of our own
# writes it at build time beside the executable, where the program looks for
# it, and it is installed to <prefix>/share/taja-duel/.
include(GNUInstallDirs)

add_executable(make_music ${CMAKE_SOURCE_DIR}/tools/make_music.cpp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/music.wav
  COMMAND make_music ${CMAKE_BINARY_DIR}/music.wav
  DEPENDS make_music
  COMMENT "Writing the bundled music loop")
add_custom_target(music_wav DEPENDS ${CMAKE_BINARY_DIR}/music.wav)
add_dependencies(taja-duel music_wav)
install(FILES ${CMAKE_BINARY_DIR}/music.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/taja-duel)

# The installed program's last place to look for the loop.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/sound/music_sdl.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS TAJA_DUEL_DATADIR="${CMAKE_INSTALL_FULL_DATADIR}/taja-duel")
