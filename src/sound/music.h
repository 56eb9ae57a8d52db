// The background music of a match.
#pragma once

namespace sound {

// Stops whatever music is playing and starts the music file from its
// beginning, looping in the background until the next call. It returns at
// once: on Linux a thread of the music's own opens the audio device (at the
// first call, and again at each call while it could not), loads the file and
// plays it, and never draws. Without a device or a file nothing plays, the
// caller simply goes on, nothing is reported or printed, and no thread is
// left running.
//
// The file is ~/Desktop/Sound/music.wav if there is one, else the loop
// bundled with the program: beside the executable, or in the share/taja-duel/
// that an install puts next to the executable's folder, wherever the prefix.
// On Windows: C:\Users\user\Desktop\Sound\music.wav if there is one, else
// Sound\music.wav on the player's desktop (where the shell says it is, else
// %USERPROFILE%\Desktop), else the bundled loop beside the executable.
void start_music();

// Stops the music and gives the audio device back. The next start_music
// opens it again.
void close_music();

}  // namespace sound
