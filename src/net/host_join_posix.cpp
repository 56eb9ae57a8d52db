// The system's words for a connection step's error, on POSIX.
#include <cstring>

#include "net/host_join.h"

namespace net {

// ASCII: the program leaves the messages' locale at "C".
std::string system_error_text(int code) { return std::strerror(code); }

}  // namespace net
