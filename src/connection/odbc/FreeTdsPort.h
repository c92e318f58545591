#pragma once

// The default port for FreeTDS when a connection string names a server without one.
//
// With "Local Connection" ticked the connection string reads "Server=host" with no port, which
// for SQL Server means the default instance on port 1433. FreeTDS 1.3.17 as Debian builds it
// ("TDS version: auto") knows no default port and refuses such a string with "invalid port
// number" before it sends anything. A string with "Server=" is not looked up in freetds.conf at
// all (that file serves "Servername=" entries), so no setting there helps; FreeTDS's only
// other source for a port is the environment variable TDSPORT, read afresh at every connect.
// But TDSPORT also overrides an explicit "host,port" and skips the lookup of a named instance
// ("host\INSTANCE"), so it may not be set for the whole process: it is set just around the
// connect of a string that needs it, and only when
//   - the driver the string names is FreeTDS (libtdsodbc),
//   - its Server= value carries neither a port nor an instance name, and the string has no
//     Port=, Servername= or DSN= of its own,
//   - and the user has not set TDSPORT (a value of theirs stands for every connection).
// The connection string itself is passed to the driver manager unchanged.

#include <sql.h>

#include <map>
#include <mutex>
#include <string>

namespace odbc::detail {

// The attributes of a connection string: upper-cased key -> value with its braces undone.
// The first occurrence of a key wins.
std::map<std::string, std::string> connectionAttributes(const std::string& connectionString);

// Whether this string, opened through that environment, needs FreeTDS's port supplied.
bool needsFreeTdsDefaultPort(SQLHENV env, const std::string& connectionString);

// The port a server without one is reached on: SQL Server's default instance.
inline constexpr const char* kSqlServerDefaultPort = "1433";

// Held around SQLDriverConnect: every connect of the process takes the same lock, so that a
// TDSPORT set for one connect is seen by that connect only.
class ConnectEnvironment {
public:
    ConnectEnvironment(SQLHENV env, const std::string& connectionString);
    ~ConnectEnvironment();
    ConnectEnvironment(const ConnectEnvironment&) = delete;
    ConnectEnvironment& operator=(const ConnectEnvironment&) = delete;

private:
    std::unique_lock<std::mutex> lock_;
    bool portSet_ = false;
};

} // namespace odbc::detail
