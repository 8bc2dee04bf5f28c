// The console program runner: RunDosProgram, TempFileName, GetShortFileName, and the helper's
// side of the control-file exchange.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

/// The helper program the runner starts; it lies in the runner's folder (see
/// SetRunnerDirectory) and is given the control file's name as its one argument.
inline constexpr const char* RunnerHelperName = "KXRUN.PIF";

/// A new file in the temporary folder named "KXT" + the process's counter in hexadecimal +
/// ".TMP". The counter starts at 1 and moves past every name it gives or finds in use. The file
/// is created (empty) before the name is returned, so no other caller gets the same name; a
/// name already in use is skipped, never reused or deleted. Raises EFCreateError when the
/// temporary folder cannot take a file.
std::string TempFileName();

/// The short form of Name, or Name itself when there is none (for example because the file
/// does not exist).
std::string GetShortFileName(const std::string& Name);

/// Runs CommandLine through the helper and returns True when it reported exit status 0.
///
/// The control file (TempFileName) holds "-2", the caller's current folder and CommandLine;
/// the helper is started in the runner's folder, which is also the current folder while it
/// runs; the helper runs the command in the folder of line 2 and leaves the command's exit
/// status on line 2. The current folder is restored and the control file removed on every
/// path. The wait polls every 5 seconds; with TimeLimitMs not negative, a helper still running
/// after that many milliseconds is ended with everything it started, and the result is False.
/// False also when the helper cannot be started, is ended by a signal, or CommandLine holds a
/// line break (the control file could not carry it). A control file that cannot be written or
/// read raises the file error, a second line that is not a decimal integer EConvertError.
bool RunDosProgram(const std::string& CommandLine, std::int64_t TimeLimitMs = -1);

/// The folder of the helper: "" (the default) is the folder of the running executable.
std::string GetRunnerDirectory();
void SetRunnerDirectory(const std::string& Dir);

/// The helper's side: reads the control file ControlFile, runs its third line through the
/// system's command interpreter in the folder named by its second line, waits for it and
/// writes its exit status (128 + the signal's number when a signal ended it, 127 when it could
/// not be started) as the second line, the other lines unchanged. Returns that status. Raises
/// the file error when the control file cannot be read or written, and EConvertError when it
/// has fewer than three lines.
int RunControlFile(const std::string& ControlFile);

} // namespace kestrel
