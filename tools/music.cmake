# The background loop bundled with the program: a small generator of our own
# writes it at build time beside the executable, where the program looks for
# it (packaging/packaging.cmake installs it).
add_executable(make_music ${CMAKE_SOURCE_DIR}/tools/make_music.cpp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/music.wav
  COMMAND make_music ${CMAKE_BINARY_DIR}/music.wav
  DEPENDS make_music
  COMMENT "Writing the bundled music loop")
add_custom_target(music_wav DEPENDS ${CMAKE_BINARY_DIR}/music.wav)
add_dependencies(taja-duel music_wav)
