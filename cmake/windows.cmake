# The Windows build, cross-built from Linux (cmake/mingw-w64-x86_64.cmake):
# the shared code with the *_win32.cpp files in place of *_posix.cpp and
# *_alsa.cpp. Tests (TAJA_WINDOWS_TESTS) run under wine.
option(TAJA_WINDOWS_TESTS "Build the Windows tests and run them under wine" OFF)

file(GLOB_RECURSE TAJA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
list(FILTER TAJA_SOURCES EXCLUDE REGEX "_posix\\.cpp$|_alsa\\.cpp$|/shell/main\\.cpp$")
add_library(taja_core STATIC ${TAJA_SOURCES})
target_include_directories(taja_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
# Windows 10 and later; <windows.h> without its min/max macros.
target_compile_definitions(taja_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# shell32, ole32 and uuid: the desktop folder as the shell knows it; iphlpapi:
# the interfaces' addresses and the default gateway; oleaut32: the strings of
# the UPnP NAT objects.
target_link_libraries(taja_core PUBLIC Threads::Threads ws2_32 winmm shell32 ole32 oleaut32 uuid
                                       iphlpapi)

add_executable(taja-duel src/shell/main.cpp)
target_link_libraries(taja-duel PRIVATE taja_core)
target_compile_definitions(taja-duel PRIVATE TAJA_VERSION="${PROJECT_VERSION}")
set_target_properties(taja-duel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The bundled music loop beside the exe. Its generator runs here at build
# time, so it is built with this machine's own compiler.
find_program(TAJA_HOST_CXX NAMES c++ g++ REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/make_music_host
  COMMAND ${TAJA_HOST_CXX} -std=c++20 -O2 -o ${CMAKE_BINARY_DIR}/make_music_host
          ${CMAKE_SOURCE_DIR}/tools/make_music.cpp
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_music.cpp
  COMMENT "Building the music generator for this machine")
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/music.wav
  COMMAND ${CMAKE_BINARY_DIR}/make_music_host ${CMAKE_BINARY_DIR}/music.wav
  DEPENDS ${CMAKE_BINARY_DIR}/make_music_host
  COMMENT "Writing the bundled music loop")
add_custom_target(music_wav DEPENDS ${CMAKE_BINARY_DIR}/music.wav)
add_dependencies(taja-duel music_wav)

# What a player unpacks: the exe, the music and the README (make package-windows).
include(${CMAKE_SOURCE_DIR}/packaging/packaging.cmake)

if(NOT TAJA_WINDOWS_TESTS)
  return()
endif()

# wine with a prefix of this build tree's own (nothing depends on ~/.wine)
# and its text console: no DISPLAY, so wine draws the console on the terminal.
# No sound driver either: on a machine without a sound card ALSA would print
# its complaints onto that same terminal, over the board the tests read.
find_program(TAJA_WINE NAMES wine REQUIRED)
set(TAJA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run CONTENT [[#!/bin/sh
# Runs a Windows program (or wineserver) in this build tree's wine prefix,
# or in TAJA_WINEPREFIX: a test whose wine session must live in a network
# namespace of its own names a prefix, and so a server, of its own.
unset DISPLAY
export WINEPREFIX="${TAJA_WINEPREFIX:-@TAJA_WINEPREFIX@}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv='
mkdir -p "$WINEPREFIX"
case "$1" in
  wineserver) shift; exec wineserver "$@" ;;
esac
exec '@TAJA_WINE@' "$@"
]] @ONLY)
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
include(GoogleTest)

# The unit tests whose subjects are the same on Windows, and the tests of the
# Win32 backend itself.
set(TAJA_WIN_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/encoding_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/keys_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/line_editor_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/random_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/tables_test.cpp)
file(GLOB TAJA_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(win_unit_tests ${TAJA_WIN_TESTS} ${TAJA_WIN32_TESTS})
target_include_directories(win_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(win_unit_tests PRIVATE taja_core GTest::gtest_main)
gtest_discover_tests(win_unit_tests DISCOVERY_TIMEOUT 120
  PROPERTIES RESOURCE_LOCK port8080)

# The real exe under wine in a pseudo-terminal, and a duel with the Linux
# build: driven by a program of the Linux build (TAJA_NATIVE_BUILD), which
# builds it but leaves running it to this build.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/taja-duel-wine
  CONTENT "#!/bin/sh\nexec '${CMAKE_BINARY_DIR}/wine-run' '$<TARGET_FILE:taja-duel>' \"$@\"\n"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
# A console with the player's own text in it, where the exe runs.
add_executable(player_console ${CMAKE_SOURCE_DIR}/tests/wine_tools/player_console.cpp)
add_dependencies(player_console taja-duel)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/player-console-wine
  CONTENT "#!/bin/sh\nexec '${CMAKE_BINARY_DIR}/wine-run' '$<TARGET_FILE:player_console>'\n"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(TAJA_NATIVE_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "The Linux build tree")
foreach(suite WineMenu WineConsole WineDuel WineFind WineRouter WinePractice)
  add_test(NAME ${suite} COMMAND ${TAJA_NATIVE_BUILD}/e2e_wine_tests --gtest_filter=${suite}.*)
  set_tests_properties(${suite} PROPERTIES
    ENVIRONMENT "TAJA_DUEL_WINE=${CMAKE_BINARY_DIR}/taja-duel-wine;TAJA_PLAYER_CONSOLE_WINE=${CMAKE_BINARY_DIR}/player-console-wine")
endforeach()
set_tests_properties(WineDuel PROPERTIES RESOURCE_LOCK port8080)
