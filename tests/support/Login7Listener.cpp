#include "support/Login7Listener.h"

#include "connection/odbc/Odbc.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tabulon::test {

namespace {

constexpr int kMaxConnections = 64;
constexpr std::uint8_t kPreLogin = 0x12;
constexpr std::uint8_t kLogin7 = 0x10;
constexpr std::uint8_t kTabularResult = 0x04;
constexpr std::uint8_t kEndOfMessage = 0x01;

int loopbackSocket()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    int yes = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        throw std::runtime_error("bind: " + std::string(std::strerror(errno)));
    }
    return s;
}

int portOf(int s)
{
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// Reads exactly n bytes, waiting at most 5 seconds for each piece.
bool readExactly(int s, std::uint8_t* out, std::size_t n)
{
    std::size_t have = 0;
    while (have < n) {
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t got = ::recv(s, out + have, n - have, 0);
        if (got <= 0)
            return false;
        have += std::size_t(got);
    }
    return true;
}

// One TDS message (all its packets up to end-of-message): its type and its payload.
bool readMessage(int s, std::uint8_t& type, std::vector<std::uint8_t>& payload)
{
    payload.clear();
    for (int packets = 0; packets < 64; ++packets) {
        std::uint8_t header[8];
        if (!readExactly(s, header, sizeof header))
            return false;
        type = header[0];
        const std::size_t length = (std::size_t(header[2]) << 8) | header[3];
        if (length < 8)
            return false;
        const std::size_t start = payload.size();
        payload.resize(start + length - 8);
        if (!readExactly(s, payload.data() + start, length - 8))
            return false;
        if (header[1] & kEndOfMessage)
            return true;
    }
    return false;
}

void sendAll(int s, const std::vector<std::uint8_t>& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += std::size_t(n);
    }
}

// The server's pre-login answer: a version, encryption not supported, no instance, no MARS.
std::vector<std::uint8_t> preLoginAnswer()
{
    struct Option {
        std::uint8_t token;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Option> options = {
        {0x00, {0x10, 0x00, 0x07, 0xD0, 0x00, 0x00}}, // VERSION 16.0.2000
        {0x01, {0x02}},                               // ENCRYPTION: ENCRYPT_NOT_SUP
        {0x02, {0x00}},                               // INSTOPT
        {0x03, {}},                                   // THREADID
        {0x04, {0x00}},                               // MARS off
    };
    std::vector<std::uint8_t> table, data;
    const std::size_t tableSize = options.size() * 5 + 1;
    for (const Option& o : options) {
        const std::size_t offset = tableSize + data.size();
        table.insert(table.end(), {o.token, std::uint8_t(offset >> 8), std::uint8_t(offset),
                                   std::uint8_t(o.data.size() >> 8), std::uint8_t(o.data.size())});
        data.insert(data.end(), o.data.begin(), o.data.end());
    }
    table.push_back(0xFF);
    const std::size_t length = 8 + table.size() + data.size();
    std::vector<std::uint8_t> packet = {kTabularResult, kEndOfMessage, std::uint8_t(length >> 8),
                                        std::uint8_t(length), 0, 0, 1, 0};
    packet.insert(packet.end(), table.begin(), table.end());
    packet.insert(packet.end(), data.begin(), data.end());
    return packet;
}

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return at + 1 < b.size() ? std::uint16_t(b[at] | (b[at + 1] << 8)) : 0;
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t(le16(b, at)) | (std::uint32_t(le16(b, at + 2)) << 16);
}

// The raw bytes of a LOGIN7 variable field: offset and length (in characters) at `at`.
std::string rawField(const std::vector<std::uint8_t>& body, std::size_t at)
{
    const std::size_t offset = le16(body, at);
    const std::size_t bytes = std::size_t(le16(body, at + 2)) * 2;
    if (offset + bytes > body.size())
        return {};
    return std::string(reinterpret_cast<const char*>(body.data() + offset), bytes);
}

std::string utf16le(const std::string& raw)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
        units.push_back(char16_t(std::uint8_t(raw[i]) | (std::uint8_t(raw[i + 1]) << 8)));
    return odbc::toUtf8(units);
}

Login7 parseLogin7(const std::vector<std::uint8_t>& body)
{
    Login7 l;
    l.tdsVersion = le32(body, 4);
    l.hostName = utf16le(rawField(body, 36));
    l.userName = utf16le(rawField(body, 40));
    l.password = utf16le(decodeLogin7Password(rawField(body, 44)));
    l.appName = utf16le(rawField(body, 48));
    l.serverName = utf16le(rawField(body, 52));
    l.libraryName = utf16le(rawField(body, 60));
    l.language = utf16le(rawField(body, 64));
    l.database = utf16le(rawField(body, 68));
    return l;
}

} // namespace

std::string decodeLogin7Password(const std::string& obfuscated)
{
    std::string plain = obfuscated;
    for (char& ch : plain) {
        const auto x = std::uint8_t(std::uint8_t(ch) ^ 0xA5);
        ch = char(std::uint8_t((x << 4) | (x >> 4)));
    }
    return plain;
}

int unusedLoopbackPort()
{
    const int s = loopbackSocket();
    const int port = portOf(s);
    ::close(s); // bound but never listening: connecting is refused, and now nobody holds it
    return port;
}

Login7Listener::Login7Listener(std::chrono::milliseconds lifetime)
{
    listener_ = loopbackSocket();
    if (::listen(listener_, 8) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen: " + std::string(std::strerror(errno)));
    }
    port_ = portOf(listener_);
    thread_ = std::thread([this, deadline = std::chrono::steady_clock::now() + lifetime] { serve(deadline); });
}

Login7Listener::~Login7Listener()
{
    stop();
}

void Login7Listener::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

std::vector<Login7> Login7Listener::logins() const
{
    std::lock_guard lock(mutex_);
    return logins_;
}

void Login7Listener::serve(std::chrono::steady_clock::time_point deadline)
{
    while (!stopping_ && std::chrono::steady_clock::now() < deadline && connections_ < kMaxConnections) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++connections_;
        handle(client);
        ::close(client);
    }
}

void Login7Listener::handle(int client)
{
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    if (!readMessage(client, type, payload))
        return;
    if (type == kPreLogin) {
        sendAll(client, preLoginAnswer());
        if (!readMessage(client, type, payload))
            return;
    }
    if (type != kLogin7 || payload.size() < 94)
        return;
    Login7 login = parseLogin7(payload);
    std::lock_guard lock(mutex_);
    logins_.push_back(std::move(login));
}

} // namespace tabulon::test
