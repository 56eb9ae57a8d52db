// For tests: the music layer with the file chosen by the caller.
#pragma once

#include <string>

namespace sound::detail {

// start_music with `path` in place of the file it would look for. The file is
// loaded again only when `path` differs from the last one asked for.
void start_music_file(const std::string& path);

}  // namespace sound::detail
