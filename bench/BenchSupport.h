#pragma once

// Small things every part of the benchmark needs: the driver mapping, clocks, resident memory,
// the machine's description, and running an outside program with its output in a file.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Makes the ODBC driver name "SQL Server" reach the SQLite ODBC driver in this process and in
// every process it starts: writes an odbcinst.ini into `folder` and points ODBCSYSINI at it.
// unixODBC reads the variable once, at its first lookup, so this runs before any ODBC call.
// Returns the driver library, or throws when the SQLite ODBC driver is not installed.
std::string mapSqlServerToSqlite(const std::string& folder);

// The connection string the program builds for a local login on a database file.
std::string connectionStringFor(const std::string& databaseFile);

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    void restart() { start_ = std::chrono::steady_clock::now(); }
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// Processor time (user + system) used so far by this process, and by the children it has
// waited for. On a machine shared with other work, processor time shows the work done by each
// side of a ratio apart from the time spent waiting for a processor.
double cpuSecondsSelf();
double cpuSecondsChildren();

// Wall-clock and processor time of one piece of work.
struct Timing {
    double wall = 0;
    double cpu = 0;
};
class Clock {
public:
    Clock() { restart(); }
    void restart()
    {
        wall_.restart();
        self_ = cpuSecondsSelf();
        children_ = cpuSecondsChildren();
    }
    Timing elapsed() const
    {
        return {wall_.seconds(), cpuSecondsSelf() - self_ + cpuSecondsChildren() - children_};
    }

private:
    Stopwatch wall_;
    double self_ = 0;
    double children_ = 0;
};

// Writes `bytes` bytes to a new file in pieces of 4 MB and removes it: what the system alone
// costs for an export file of that size. Returns its timing.
Timing measureFileWrite(const std::string& path, std::uint64_t bytes);

// Resident memory of this process, in bytes (/proc/self/statm).
std::uint64_t residentBytes();
// The peak resident memory of this process since the last resetPeakResident(), in bytes
// (VmHWM of /proc/self/status; the reset writes 5 to /proc/self/clear_refs).
std::uint64_t peakResidentBytes();
void resetPeakResident();
// Gives freed heap memory back to the system, so that the next reading starts from a floor.
void releaseFreeMemory();

std::uint64_t fileSize(const std::string& path);
void removeFile(const std::string& path);

// Runs `argv` (no shell) with its standard output written to `outputFile`; returns the exit
// code, or -1 when it could not be started.
int runToFile(const std::vector<std::string>& argv, const std::string& outputFile);
// The first line a program prints (for version strings); empty when it cannot run.
std::string firstLineOf(const std::vector<std::string>& argv);

struct Machine {
    int cpus = 0;
    std::string cpuModel;
    std::uint64_t memoryBytes = 0;
    std::string kernel;
};
Machine describeMachine();

// "2024-05-01 12:34 UTC"
std::string nowUtc();

// The path of this program.
std::string selfPath();

} // namespace bench
