#include "LoopbackForwarder.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tabulon::test {

namespace {

constexpr int kMaxConnections = 64;

int connectTo(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int s = -1;
    for (addrinfo* a = found; a && s < 0; a = a->ai_next) {
        s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s >= 0 && ::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(s);
            s = -1;
        }
    }
    ::freeaddrinfo(found);
    return s;
}

} // namespace

LoopbackForwarder::LoopbackForwarder(int listenPort, std::string targetHost, int targetPort,
                                     std::chrono::seconds lifetime)
    : targetHost_(std::move(targetHost)), targetPort_(targetPort)
{
    for (int last = 2; last < 255 && listener_ < 0; ++last) {
        const std::string address = "127.0.0." + std::to_string(last);
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(listenPort));
        ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s, 16) == 0) {
            listener_ = s;
            address_ = address;
        } else {
            ::close(s);
        }
    }
    if (listener_ < 0)
        throw std::runtime_error("no loopback address is free for port " + std::to_string(listenPort));
    thread_ = std::thread([this, deadline = std::chrono::steady_clock::now() + lifetime] { serve(deadline); });
}

LoopbackForwarder::~LoopbackForwarder()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    for (std::thread& t : relays_)
        t.join();
    ::close(listener_);
}

void LoopbackForwarder::serve(std::chrono::steady_clock::time_point deadline)
{
    while (!stopping_ && std::chrono::steady_clock::now() < deadline && connections_ < kMaxConnections) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++connections_;
        std::lock_guard lock(mutex_);
        relays_.emplace_back([this, client] { relay(client); });
    }
}

void LoopbackForwarder::relay(int client)
{
    const int server = connectTo(targetHost_, targetPort_);
    if (server < 0) {
        ::close(client);
        return;
    }
    char buffer[65536];
    bool open = true;
    while (open && !stopping_) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2 && open; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int from = p[i].fd, to = i == 0 ? server : client;
            const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
            if (got <= 0) {
                open = false;
                break;
            }
            for (ssize_t sent = 0; sent < got;) {
                const ssize_t n = ::send(to, buffer + sent, std::size_t(got - sent), MSG_NOSIGNAL);
                if (n <= 0) {
                    open = false;
                    break;
                }
                sent += n;
            }
        }
    }
    ::close(server);
    ::close(client);
}

} // namespace tabulon::test
