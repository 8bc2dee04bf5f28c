// Child processes over posix_spawn, waited for through a process file descriptor when the system
// has one, and the current folder.
#include "host/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <memory>
#include <thread>

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ; // NOLINT: the process environment, as posix_spawn takes it

namespace kestrel {

namespace {

// Waits up to TimeoutMs (negative: no limit) for Pid to end without reaping it; true when it is
// known to have ended or the wait cannot be made through a process descriptor (the caller then
// polls).
bool WaitThroughDescriptor(int Pid, std::int64_t TimeoutMs, bool& Supported) {
#ifdef SYS_pidfd_open
    const long Fd = ::syscall(SYS_pidfd_open, Pid, 0);
    if (Fd < 0) {
        Supported = false;
        return false;
    }
    Supported = true;
    pollfd P{static_cast<int>(Fd), POLLIN, 0};
    const int Timeout =
        TimeoutMs < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(TimeoutMs, INT_MAX));
    int R;
    do
        R = ::poll(&P, 1, Timeout);
    while (R < 0 && errno == EINTR);
    ::close(static_cast<int>(Fd));
    return R > 0;
#else
    (void)Pid;
    (void)TimeoutMs;
    Supported = false;
    return false;
#endif
}

} // namespace

TChildProcess::~TChildProcess() {
    if (FPid >= 0 && !Poll()) {
        Terminate();
        Wait(-1);
    }
}

bool TChildProcess::Start(const std::vector<std::string>& Argv, const std::string& Dir,
                          bool NewGroup) {
    if (Argv.empty() || (FPid >= 0 && !FEnded))
        return false;
    std::vector<char*> Args;
    Args.reserve(Argv.size() + 1);
    for (const std::string& A : Argv)
        Args.push_back(const_cast<char*>(A.c_str()));
    Args.push_back(nullptr);

    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attr;
    if (::posix_spawn_file_actions_init(&Actions) != 0)
        return false;
    if (::posix_spawnattr_init(&Attr) != 0) {
        ::posix_spawn_file_actions_destroy(&Actions);
        return false;
    }
    bool Ok = true;
    if (!Dir.empty())
        Ok = ::posix_spawn_file_actions_addchdir_np(&Actions, Dir.c_str()) == 0;
    // A group of its own; default signal handling, whatever the caller ignores.
    sigset_t Defaults;
    sigemptyset(&Defaults);
    sigaddset(&Defaults, SIGPIPE);
    sigaddset(&Defaults, SIGINT);
    sigaddset(&Defaults, SIGTERM);
    sigset_t NoMask;
    sigemptyset(&NoMask);
    const short Flags = static_cast<short>((NewGroup ? POSIX_SPAWN_SETPGROUP : 0) |
                                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    Ok = Ok && ::posix_spawnattr_setpgroup(&Attr, 0) == 0 &&
         ::posix_spawnattr_setsigdefault(&Attr, &Defaults) == 0 &&
         ::posix_spawnattr_setsigmask(&Attr, &NoMask) == 0 &&
         ::posix_spawnattr_setflags(&Attr, Flags) == 0;
    pid_t Pid = -1;
    if (Ok)
        Ok = ::posix_spawn(&Pid, Args[0], &Actions, &Attr, Args.data(), environ) == 0;
    ::posix_spawnattr_destroy(&Attr);
    ::posix_spawn_file_actions_destroy(&Actions);
    if (!Ok)
        return false;
    FPid = Pid;
    FEnded = false;
    FKilled = false;
    FExitCode = 0;
    return true;
}

bool TChildProcess::StartCommand(const std::string& CommandLine, const std::string& Dir,
                                 bool NewGroup) {
    return Start({"/bin/sh", "-c", CommandLine}, Dir, NewGroup);
}

bool TChildProcess::Poll() {
    if (FPid < 0)
        return false;
    if (FEnded)
        return true;
    int Status = 0;
    pid_t R;
    do
        R = ::waitpid(FPid, &Status, WNOHANG);
    while (R < 0 && errno == EINTR);
    if (R == 0)
        return false;
    FEnded = true;
    if (R < 0) { // not our child any more (reaped elsewhere): nothing more can be learnt
        FKilled = true;
        FExitCode = 128 + SIGKILL;
    } else if (WIFSIGNALED(Status)) {
        FKilled = true;
        FExitCode = static_cast<std::uint32_t>(128 + WTERMSIG(Status));
    } else {
        FExitCode = static_cast<std::uint32_t>(WEXITSTATUS(Status));
    }
    return true;
}

bool TChildProcess::Wait(std::int64_t TimeoutMs) {
    if (FPid < 0)
        return false;
    if (Poll())
        return true;
    bool Supported = false;
    WaitThroughDescriptor(FPid, TimeoutMs, Supported);
    if (Supported)
        return Poll();
    // No process descriptors: poll with short sleeps.
    const auto Start = std::chrono::steady_clock::now();
    for (;;) {
        if (Poll())
            return true;
        const auto Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - Start)
                                 .count();
        if (TimeoutMs >= 0 && Elapsed >= TimeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool TChildProcess::GetExitCode(std::uint32_t& Code) {
    if (FPid < 0)
        return false;
    Code = Poll() ? FExitCode : STILL_ACTIVE;
    return true;
}

void TChildProcess::Terminate() {
    if (FPid < 0 || Poll())
        return;
    if (::getpgid(FPid) == FPid)
        ::kill(-FPid, SIGKILL);
    ::kill(FPid, SIGKILL);
}

std::string GetCurrentDir() {
    std::unique_ptr<char, decltype(&std::free)> Dir(::getcwd(nullptr, 0), &std::free);
    return Dir ? std::string(Dir.get()) : std::string();
}

bool SetCurrentDir(const std::string& Dir) {
    return ::chdir(Dir.c_str()) == 0;
}

} // namespace kestrel
