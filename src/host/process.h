// Child processes (start, wait with a time limit, exit code, termination) and the current folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

/// The exit code a process reports while it still runs.
constexpr std::uint32_t STILL_ACTIVE = 259;

/// A program started as a child process. It normally runs in a process group of its own, so
/// that Terminate ends it together with whatever it has started. A child still running when the
/// object is destroyed is terminated and reaped: none is left behind.
class TChildProcess {
public:
    TChildProcess() = default;
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    /// Starts the program Argv[0] (a path, not looked up) with the arguments Argv, each passed
    /// as it is (spaces and quotes included), in the folder Dir ("" for the current one), with
    /// the caller's environment and standard handles, in a process group of its own unless
    /// NewGroup is false (then it stays in the caller's, and goes when the caller's group is
    /// terminated). False when it cannot be started (no such program, not executable, no such
    /// folder) or a process already runs.
    bool Start(const std::vector<std::string>& Argv, const std::string& Dir, bool NewGroup = true);
    /// Starts CommandLine through the system's command interpreter in the folder Dir.
    bool StartCommand(const std::string& CommandLine, const std::string& Dir, bool NewGroup = true);
    /// Waits up to TimeoutMs milliseconds (negative: without limit) for the process to end;
    /// true when it has ended.
    bool Wait(std::int64_t TimeoutMs);
    /// The exit code: STILL_ACTIVE while the process runs, 128 + the signal's number when a
    /// signal ended it. False when no process was started.
    bool GetExitCode(std::uint32_t& Code);
    /// True once the process has been ended by a signal.
    bool GetKilled() const { return FEnded && FKilled; }
    /// Ends the process and its process group at once (nothing happens when it has ended).
    void Terminate();

private:
    bool Poll(); // reaps the process when it has ended; true when it has
    int FPid = -1;
    bool FEnded = false;         // meaningful when FPid >= 0
    bool FKilled = false;        // ended by a signal
    std::uint32_t FExitCode = 0; // valid once FEnded
};

/// The process's current folder ("" when it cannot be read).
std::string GetCurrentDir();
/// Makes Dir the current folder; false when that fails.
bool SetCurrentDir(const std::string& Dir);

} // namespace kestrel
