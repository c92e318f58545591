#include "BenchSupport.h"

#include "connection/ConnectionString.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <glob.h>
#include <malloc.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

std::string firstMatch(std::initializer_list<const char*> patterns)
{
    for (const char* pattern : patterns) {
        glob_t g{};
        if (::glob(pattern, 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
            std::string found = g.gl_pathv[0];
            ::globfree(&g);
            return found;
        }
        ::globfree(&g);
    }
    return {};
}

std::vector<char*> argvOf(const std::vector<std::string>& argv)
{
    std::vector<char*> out;
    for (const std::string& a : argv)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

std::string mapSqlServerToSqlite(const std::string& folder)
{
    const std::string library = firstMatch({"/usr/lib/*/odbc/libsqlite3odbc.so", "/usr/lib/odbc/libsqlite3odbc.so",
                                            "/usr/local/lib/libsqlite3odbc.so", "/usr/lib/*/libsqlite3odbc.so"});
    if (library.empty())
        throw std::runtime_error("the SQLite ODBC driver (libsqlite3odbc.so) is not installed");
    {
        std::ofstream ini(folder + "/odbcinst.ini", std::ios::trunc);
        ini << "[SQL Server]\nDescription=SQLite behind the SQL Server driver name (benchmark)\n"
            << "Driver=" << library << "\n";
        std::ofstream(folder + "/odbc.ini", std::ios::trunc);
        if (!ini)
            throw std::runtime_error("cannot write " + folder + "/odbcinst.ini");
    }
    ::unsetenv("ODBCINSTINI");
    ::setenv("ODBCSYSINI", folder.c_str(), 1);
    return library;
}

std::string connectionStringFor(const std::string& databaseFile)
{
    tabulon::LoginFields f;
    f.local = true;
    f.server = QStringLiteral("localhost");
    f.database = QString::fromStdString(databaseFile);
    return tabulon::connectionStringUtf8(f);
}

namespace {
double cpuSeconds(int who)
{
    struct rusage u {};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

double cpuSecondsSelf() { return cpuSeconds(RUSAGE_SELF); }
double cpuSecondsChildren() { return cpuSeconds(RUSAGE_CHILDREN); }

Timing measureFileWrite(const std::string& path, std::uint64_t bytes)
{
    std::string piece(std::size_t(4) << 20, 'x');
    for (std::size_t i = 0; i < piece.size(); i += 64)
        piece[i] = '\n';
    ::unlink(path.c_str());
    Clock clock;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return {};
    std::uint64_t left = bytes;
    while (left > 0) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left, piece.size()));
        if (::write(fd, piece.data(), n) != ssize_t(n))
            break;
        left -= n;
    }
    ::close(fd);
    const Timing t = clock.elapsed();
    ::unlink(path.c_str());
    return t;
}

std::uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * std::uint64_t(::sysconf(_SC_PAGESIZE));
}

std::uint64_t peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    }
    return 0;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void releaseFreeMemory()
{
    ::malloc_trim(0);
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return std::uint64_t(st.st_size);
}

void removeFile(const std::string& path)
{
    ::unlink(path.c_str());
}

int runToFile(const std::vector<std::string>& argv, const std::string& outputFile)
{
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    std::vector<char*> args = argvOf(argv);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string firstLineOf(const std::vector<std::string>& argv)
{
    char path[] = "/tmp/tabulon-bench-version-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return {};
    ::close(fd);
    std::string line;
    if (runToFile(argv, path) == 0) {
        std::ifstream in(path);
        std::getline(in, line);
    }
    ::unlink(path);
    return line;
}

Machine describeMachine()
{
    Machine m;
    m.cpus = int(::sysconf(_SC_NPROCESSORS_ONLN));
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            m.cpuModel = colon == std::string::npos ? line : line.substr(colon + 2);
            break;
        }
    }
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        if (line.rfind("MemTotal:", 0) == 0) {
            m.memoryBytes = std::strtoull(line.c_str() + 9, nullptr, 10) * 1024;
            break;
        }
    }
    struct utsname u {};
    if (::uname(&u) == 0)
        m.kernel = std::string(u.sysname) + " " + u.release + " " + u.machine;
    return m;
}

std::string nowUtc()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M UTC", &tm);
    return buffer;
}

std::string selfPath()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

} // namespace bench
