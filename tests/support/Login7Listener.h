#pragma once

// A stand-in for a SQL Server on 127.0.0.1 that goes as far as the login: it answers the TDS
// pre-login (version, no encryption), reads the LOGIN7 packet the client sends, writes down the
// names and the password in it, and closes the connection. The client then fails with its
// own message, and the test sees exactly what the driver would have sent to a server.
//
// The listener runs in a thread of its own, serves at most a handful of connections one after
// the other, and stops by itself after its lifetime even if nobody stops it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tabulon::test {

// What one LOGIN7 packet carried; texts decoded from UTF-16LE to UTF-8.
struct Login7 {
    std::uint32_t tdsVersion = 0; // e.g. 0x74000004 for TDS 7.4
    std::string hostName;
    std::string userName;
    std::string password; // the obfuscation undone
    std::string appName;
    std::string serverName;
    std::string libraryName;
    std::string language;
    std::string database;
};

class Login7Listener {
public:
    explicit Login7Listener(std::chrono::milliseconds lifetime = std::chrono::seconds(30));
    ~Login7Listener();
    Login7Listener(const Login7Listener&) = delete;
    Login7Listener& operator=(const Login7Listener&) = delete;

    int port() const { return port_; }
    // The logins read so far, in order.
    std::vector<Login7> logins() const;
    // The connections accepted so far.
    int connections() const { return connections_; }
    void stop();

private:
    void serve(std::chrono::steady_clock::time_point deadline);
    void handle(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<Login7> logins_;
    std::thread thread_;
};

// A loopback port on which nothing listens (it was free a moment ago).
int unusedLoopbackPort();

// LOGIN7 password bytes: each byte had its nibbles swapped and was then XORed with 0xA5.
std::string decodeLogin7Password(const std::string& obfuscated);

} // namespace tabulon::test
