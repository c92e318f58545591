#include "FreeTdsPort.h"

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace odbc::detail {

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::mutex& connectMutex()
{
    static std::mutex m;
    return m;
}

// The library that a driver name stands for in the driver manager's list (empty when unknown).
std::string driverLibrary(SQLHENV env, const std::string& name)
{
    SQLCHAR description[512];
    SQLCHAR attributes[4096];
    SQLSMALLINT descriptionLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc = SQLDrivers(env, direction, description, sizeof description, &descriptionLength,
                                        attributes, sizeof attributes, &attributesLength);
        direction = SQL_FETCH_NEXT;
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc))
            return {};
        if (upper(reinterpret_cast<const char*>(description)) != upper(name))
            continue;
        // "Driver=/path\0Setup=...\0\0"
        const char* p = reinterpret_cast<const char*>(attributes);
        const char* end = p + std::min<std::size_t>(std::size_t(std::max<SQLSMALLINT>(attributesLength, 0)),
                                                     sizeof attributes);
        while (p < end && *p) {
            const std::string pair(p);
            if (upper(pair.substr(0, 7)) == "DRIVER=")
                return pair.substr(7);
            p += pair.size() + 1;
        }
        return {};
    }
}

bool isFreeTdsLibrary(const std::string& library)
{
    const auto slash = library.rfind('/');
    const std::string file = slash == std::string::npos ? library : library.substr(slash + 1);
    return file.rfind("libtdsodbc", 0) == 0;
}

} // namespace

std::map<std::string, std::string> connectionAttributes(const std::string& text)
{
    std::map<std::string, std::string> attributes;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t eq = text.find('=', i);
        const std::size_t semi = text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (semi == std::string::npos)
                break;
            i = semi + 1; // a piece without "=": skipped, as the driver manager does
            continue;
        }
        const std::string key = upper(trimmed(text.substr(i, eq - i)));
        std::string value;
        std::size_t j = eq + 1;
        if (j < text.size() && text[j] == '{') {
            // Braced: up to the "}" that is not doubled; "}}" stands for one "}".
            ++j;
            while (j < text.size()) {
                if (text[j] == '}') {
                    if (j + 1 < text.size() && text[j + 1] == '}') {
                        value += '}';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j++];
            }
            const std::size_t next = text.find(';', j);
            i = next == std::string::npos ? text.size() : next + 1;
        } else {
            const std::size_t next = text.find(';', j);
            value = text.substr(j, next == std::string::npos ? std::string::npos : next - j);
            i = next == std::string::npos ? text.size() : next + 1;
        }
        attributes.emplace(key, value);
    }
    return attributes;
}

bool needsFreeTdsDefaultPort(SQLHENV env, const std::string& connectionString)
{
    if (std::getenv("TDSPORT"))
        return false;
    const auto a = connectionAttributes(connectionString);
    if (a.count("PORT") || a.count("SERVERNAME") || a.count("DSN") || a.count("FILEDSN"))
        return false;
    const auto server = a.find("SERVER");
    const auto driver = a.find("DRIVER");
    if (server == a.end() || driver == a.end())
        return false;
    const std::string host = trimmed(server->second);
    if (host.empty() || host.find(',') != std::string::npos || host.find('\\') != std::string::npos)
        return false;
    const std::string& name = driver->second;
    const std::string library = name.find('/') != std::string::npos ? name : driverLibrary(env, name);
    return isFreeTdsLibrary(library);
}

ConnectEnvironment::ConnectEnvironment(SQLHENV env, const std::string& connectionString)
    : lock_(connectMutex())
{
    if (needsFreeTdsDefaultPort(env, connectionString))
        portSet_ = ::setenv("TDSPORT", kSqlServerDefaultPort, 0) == 0;
}

ConnectEnvironment::~ConnectEnvironment()
{
    if (portSet_)
        ::unsetenv("TDSPORT");
}

} // namespace odbc::detail
