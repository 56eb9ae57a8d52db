#include "net/connector.h"

#include <algorithm>
#include <utility>

#include "net/ip_sockets.h"

namespace net {

namespace {

// How much an attempt's failure tells the player: a machine that refused
// says more than silence, and silence more than a route this machine lacks.
int weight(ConnectError error) {
    switch (error) {
        case ConnectError::refused:
            return 4;
        case ConnectError::no_answer:
            return 3;
        case ConnectError::other:
            return 2;
        case ConnectError::no_ipv6_route:
            return 1;
        case ConnectError::none:
            break;
    }
    return 0;
}

}  // namespace

std::vector<Endpoint> happy_eyeballs_order(std::vector<Endpoint> endpoints) {
    std::vector<Endpoint> v6;
    std::vector<Endpoint> v4;
    for (Endpoint& e : endpoints) (e.ip.family == Family::v6 ? v6 : v4).push_back(std::move(e));
    std::vector<Endpoint> order;
    for (std::size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        if (i < v6.size()) order.push_back(v6[i]);
        if (i < v4.size()) order.push_back(v4[i]);
    }
    return order;
}

Connector::Connector(std::vector<Endpoint> endpoints, Clock::time_point now)
    : order_(happy_eyeballs_order(std::move(endpoints))) {
    if (order_.empty()) failure_.error = ConnectError::other;
    start_next(now);
}

std::vector<Watch> Connector::watches() const {
    std::vector<Watch> out;
    for (const Attempt& a : waiting_) out.push_back(Watch{a.sock.fd(), false, true});
    return out;
}

std::optional<Clock::time_point> Connector::deadline() const {
    if (done_ || next_ >= order_.size()) return std::nullopt;
    return next_start_;
}

void Connector::start_next(Clock::time_point now) {
    while (next_ < order_.size()) {
        Attempt attempt;
        attempt.endpoint = next_++;
        const int code = ip::start_connect(order_[attempt.endpoint], attempt.sock);
        if (code != 0) {
            failed(attempt.endpoint, code);
            continue;
        }
        waiting_.push_back(std::move(attempt));
        next_start_ = now + kConnectStagger;
        return;
    }
    finish_if_over();
}

void Connector::on_ready(int sock, Clock::time_point now) {
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [sock](const Attempt& a) { return a.sock.fd() == sock; });
    if (done_ || it == waiting_.end()) return;
    int code = 0;
    switch (ip::connect_state(sock, code)) {
        case ip::ConnectState::waiting:
            return;
        case ip::ConnectState::connected:
            won_ = std::move(it->sock);
            won_endpoint_ = it->endpoint;
            waiting_.clear();  // the others are closed
            set_nodelay(won_.fd());
            set_keepalive(won_.fd());
            failure_ = ConnectFailure{};
            done_ = true;
            return;
        case ip::ConnectState::failed: {
            const std::size_t endpoint = it->endpoint;
            waiting_.erase(it);
            failed(endpoint, code);
            // A failure frees the turn at once.
            if (next_ < order_.size()) {
                start_next(now);
            } else {
                finish_if_over();
            }
            return;
        }
    }
}

void Connector::on_deadline(Clock::time_point now) {
    if (!done_ && next_ < order_.size() && now >= next_start_) start_next(now);
}

void Connector::failed(std::size_t endpoint, int code) {
    const ConnectError error = ip::connect_error_of(code, order_[endpoint].ip.family);
    if (weight(error) > weight(failure_.error)) {
        failure_.error = error;
        failure_.code = error == ConnectError::other ? code : 0;
    }
}

void Connector::finish_if_over() {
    if (waiting_.empty() && next_ >= order_.size()) done_ = true;
}

bool Connector::done() const { return done_; }

Socket Connector::take_socket() { return std::move(won_); }

ConnectFailure Connector::failure() const { return failure_; }

const Endpoint& Connector::connected_to() const { return order_[won_endpoint_]; }

}  // namespace net
