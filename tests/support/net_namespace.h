// Networks of a test's own: network namespaces with their loopback up, so
// that a test can run programs that use port 8080 side by side, and a relay
// between two of them that holds every byte for a set time, as a slow link
// would.
#pragma once

#include <chrono>
#include <memory>

namespace taja::test {

// Moves the calling thread, and every program it starts from now on, into a
// new network namespace with its loopback up. Returns a descriptor of that
// namespace (for DelayRelay), or -1 where the machine does not allow it (not
// root); the caller then skips.
int enter_new_network();

// Listens on 127.0.0.1:8080 in the calling thread's network namespace and
// forwards each connection to 127.0.0.1:8080 in the namespace `upstream_ns`,
// every byte each way `delay` after it came, an end of the connection after
// the bytes before it.
class DelayRelay {
  public:
    DelayRelay(int upstream_ns, std::chrono::milliseconds delay);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace taja::test
