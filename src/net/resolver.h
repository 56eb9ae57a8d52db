// Host names to addresses for the event loop. The system's resolver
// (getaddrinfo) blocks, for as long as a name server takes, so each lookup
// runs on a thread of its own; the loop learns of its end from a socket
// that turns readable, and never waits for the thread.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "net/address.h"

namespace net {

enum class ResolveError {
    no_such_name,  // the name has no address (or no name server knows it)
    try_later,     // the name server did not answer, for now
    other,         // anything else; ResolveFailure::code holds the resolver's code
};

struct ResolveFailure {
    ResolveError error = ResolveError::other;
    int code = 0;  // getaddrinfo's (EAI_*, WSA*) code, for ResolveError::other
};

// The addresses of `host` (every family, TCP) with `port`, in the
// resolver's order; or why there are none.
using Resolved = std::variant<std::vector<Endpoint>, ResolveFailure>;

// One lookup, started at construction. Dropping a Resolver whose lookup
// still runs neither waits nor leaks: the thread ends on its own later and
// its result is thrown away.
class Resolver {
  public:
    explicit Resolver(HostPort where);
    ~Resolver();
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    // Readable once the lookup has ended, and from then on: the loop reads
    // nothing from it, and stops watching it once done(). Its socket is -1
    // when the lookup could not even start (done() is then true at once).
    Watch watch() const;
    // Whether the lookup has ended. Never blocks.
    bool done() const;
    // The result, once done().
    const Resolved& result() const;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace net
