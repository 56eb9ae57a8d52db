#include "net/resolver.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "net/ip_sockets.h"
#include "net/local_link.h"

namespace net {

// What the resolver and its thread share. The thread holds it to its end,
// so a Resolver dropped early leaves it to the thread.
struct Resolver::Shared {
    std::mutex mutex;
    bool finished = false;
    Resolved result;
    Socket ours;    // the end the loop watches; read by nobody
    Socket theirs;  // the thread sends one byte on it when the lookup ends

    // Keeps the result and tells the loop.
    void finish(Resolved r) {
        {
            std::lock_guard lock(mutex);
            result = std::move(r);
            finished = true;
        }
        // The loop's end may be closed already: the send then fails, and
        // nobody is left to tell.
        const char byte = 1;
        send_bytes(theirs.fd(), &byte, 1);
    }
};

Resolver::Resolver(HostPort where) : shared_(std::make_shared<Shared>()) {
    LocalPair pair = local_pair();
    if (!pair.ok()) {
        std::lock_guard lock(shared_->mutex);
        shared_->result = ResolveFailure{ResolveError::other, pair.code};
        shared_->finished = true;
        return;
    }
    shared_->ours = std::move(pair.one);
    shared_->theirs = std::move(pair.other);
    try {
        std::thread([shared = shared_, where = std::move(where)] {
            shared->finish(ip::lookup(where.host, where.port));
        }).detach();
    } catch (const std::system_error& e) {
        shared_->finish(ResolveFailure{ResolveError::other, e.code().value()});
    }
}

// The loop's end closes with the resolver; the thread's end stays with the
// thread until it has sent its byte.
Resolver::~Resolver() { shared_->ours = Socket(); }

Watch Resolver::watch() const { return Watch{shared_->ours.fd(), true, false}; }

bool Resolver::done() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->finished;
}

// The thread writes the result before it marks the lookup finished, and
// never touches it again.
const Resolved& Resolver::result() const { return shared_->result; }

}  // namespace net
