#pragma once

// A TCP forwarder on a loopback address of its own: it listens on ADDRESS:port (an address of
// 127.0.0.0/8 other than 127.0.0.1, the first one free for that port) and hands every
// connection through to a server at host:port. With it a test reaches a server that listens
// elsewhere as if it listened on the port asked for, for instance SQL Server's default port
// 1433, whatever port the server really has.
//
// It serves a bounded number of connections, each in a thread of its own, and stops with its
// owner or after its lifetime, whichever comes first.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tabulon::test {

class LoopbackForwarder {
public:
    // Throws std::runtime_error when no loopback address is free for that port.
    LoopbackForwarder(int listenPort, std::string targetHost, int targetPort,
                      std::chrono::seconds lifetime = std::chrono::seconds(120));
    ~LoopbackForwarder();
    LoopbackForwarder(const LoopbackForwarder&) = delete;
    LoopbackForwarder& operator=(const LoopbackForwarder&) = delete;

    // The address it listens on, e.g. "127.0.0.2".
    const std::string& address() const { return address_; }
    // The connections handed through so far.
    int connections() const { return connections_; }

private:
    void serve(std::chrono::steady_clock::time_point deadline);
    void relay(int client);

    std::string address_;
    std::string targetHost_;
    int targetPort_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::thread> relays_;
    std::thread thread_;
};

} // namespace tabulon::test
