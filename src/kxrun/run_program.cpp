// The console program runner and the helper's side of the control file.
#include "kxrun/run_program.h"

#include "host/exceptions.h"
#include "host/new_file.h"
#include "host/process.h"
#include "host/scope_guard.h"
#include "host/strings.h"
#include "host/sysutils.h"
#include "macros/macros.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace kestrel {

namespace {

constexpr std::int64_t PollMs = 5000;

std::mutex& RunnerLock() {
    static std::mutex Lock;
    return Lock;
}

std::string& RunnerDirectory() {
    static std::string Dir;
    return Dir;
}

std::string WithoutTrailingDelim(std::string Dir) {
    while (Dir.size() > 1 && Dir.back() == PathDelim)
        Dir.pop_back();
    return Dir;
}

} // namespace

std::string GetRunnerDirectory() {
    const std::lock_guard Guard(RunnerLock());
    return RunnerDirectory();
}

void SetRunnerDirectory(const std::string& Dir) {
    const std::lock_guard Guard(RunnerLock());
    RunnerDirectory() = Dir;
}

std::string TempFileName() {
    static std::atomic<std::uint64_t> Counter{1};
    const std::string Dir = GetTempPath();
    for (;;) {
        std::uint64_t Unique = Counter.fetch_add(1);
        if (Unique == 0) // the unique number is never 0
            Unique = Counter.fetch_add(1);
        char Hex[24];
        std::snprintf(Hex, sizeof Hex, "%llX", static_cast<unsigned long long>(Unique));
        std::string Name = Dir + "KXT" + Hex + ".TMP";
        if (FileCreateNew(Name))
            return Name;
    }
}

std::string GetShortFileName(const std::string& Name) {
    std::string Short;
    return GetShortPathName(Name, Short) ? Short : Name;
}

bool RunDosProgram(const std::string& CommandLine, std::int64_t TimeLimitMs) {
    if (CommandLine.find_first_of("\r\n") != std::string::npos)
        return false;
    const std::string Saved = GetCurrentDir();
    const TScopeExit Restore([&] { SetCurrentDir(Saved); });
    std::string Dir = GetRunnerDirectory();
    if (Dir.empty())
        Dir = ExtractFilePath(ParamStr(0));
    Dir = WithoutTrailingDelim(Dir);
    SetCurrentDir(Dir);

    const std::string T = TempFileName();
    const TScopeExit Remove([&] { DeleteFile(T); });
    TStringList Control;
    Control.Add("-2");
    Control.Add(GetShortFileName(Saved));
    Control.Add(CommandLine);
    Control.SaveToFile(T);

    TChildProcess Helper;
    if (!Helper.Start({Dir + PathDelim + RunnerHelperName, T}, Dir))
        return false;
    const auto Started = std::chrono::steady_clock::now();
    for (;;) {
        std::int64_t Wait = PollMs;
        if (TimeLimitMs >= 0) {
            const std::int64_t Spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - Started)
                                           .count();
            if (Spent >= TimeLimitMs) {
                Helper.Terminate();
                Helper.Wait(-1);
                return false;
            }
            Wait = min(Wait, TimeLimitMs - Spent);
        }
        Helper.Wait(Wait);
        std::uint32_t Code = 0;
        if (!Helper.GetExitCode(Code) || Code != STILL_ACTIVE)
            break;
    }
    if (Helper.GetKilled())
        return false;

    Control.LoadFromFile(T);
    const std::string Status = Control.GetCount() > 1 ? Control.Get(1) : std::string();
    return StrToInt(Status) == 0;
}

int RunControlFile(const std::string& ControlFile) {
    TStringList Control;
    Control.LoadFromFile(ControlFile);
    if (Control.GetCount() < 3)
        throw EConvertError("The control file \"" + ControlFile + "\" has fewer than 3 lines");
    int Status = 127;
    TChildProcess Command;
    // In the helper's process group: a runner that gives up on the helper ends the command too.
    if (Command.StartCommand(Control.Get(2), Control.Get(1), false)) {
        Command.Wait(-1);
        std::uint32_t Code = 0;
        Command.GetExitCode(Code);
        Status = static_cast<int>(Code);
    }
    Control.Put(1, IntToStr(Status));
    Control.SaveToFile(ControlFile);
    return Status;
}

} // namespace kestrel
