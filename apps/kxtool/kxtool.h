// kxtool's command registry and argument parsing, shared by the subcommands.
#pragma once

#include "host/find_options.h"

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::kxtool {

/// Exit codes.
enum : int { ExitOk = 0, ExitNotFound = 1, ExitUsage = 2, ExitFailure = 3 };

/// A mistake in the command line: reported with the command's usage, exit code 2.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The parsed arguments of one subcommand.
class TArgs {
public:
    std::vector<std::string> Positional;

    bool Has(const std::string& Option) const { return FValues.count(Option) != 0; }
    /// The option's value, or Default when it was not given.
    std::string Value(const std::string& Option, const std::string& Default = "") const;
    /// The option's value as an integer; a bad number is a usage error.
    std::int64_t Int(const std::string& Option, std::int64_t Default) const;
    /// Requires exactly Count positional arguments.
    void ExpectPositional(std::size_t Count) const;
    /// The search options --back (else frDown), --case and --word ask for.
    TFindOptions FindOptions() const;
    /// The file --out names ("" when not given, a usage error when Required), refused when it is
    /// the edited file itself (Hint follows that message).
    std::string OutFile(const std::string& Edited, bool Required,
                        const std::string& Hint = "") const;

private:
    friend TArgs ParseArgs(const std::vector<std::string>&, const std::set<std::string>&,
                           const std::set<std::string>&);
    std::map<std::string, std::string> FValues;
};

/// Parses "--name value", "--name=value" (for ValueOptions) and "--flag" (for Flags); anything
/// else starting with "--" is a usage error.
TArgs ParseArgs(const std::vector<std::string>& Args, const std::set<std::string>& ValueOptions,
                const std::set<std::string>& Flags);

struct TCommand {
    const char* Name;
    const char* Usage;   // arguments after the name, e.g. "FILE [--offset N] [--count N]"
    const char* Summary; // one line
    int (*Run)(const std::vector<std::string>& Args);
    const char* Help; // more for "kxtool NAME --help", or nullptr
};

/// What every command says of FILE in its help.
inline constexpr const char* FileHelp =
    "FILE may be - for standard input; a pipe, a FIFO or standard input is first copied to an "
    "unnamed\ntemporary file as it arrives (removed when kxtool ends).";

/// Adds a subcommand; each cmd_*.cpp holds one static TCommandRegistrar.
class TCommandRegistrar {
public:
    explicit TCommandRegistrar(const TCommand& Command);
};

const std::vector<TCommand>& Commands();

/// Runs Write, which writes the file FileName; a failure is raised again naming the file.
template <typename F> void WritingFile(const std::string& FileName, F Write) {
    try {
        Write();
    } catch (const std::exception& E) {
        const std::string Why = E.what();
        if (Why.find(FileName) != std::string::npos)
            throw;
        throw std::runtime_error("cannot write " + FileName + ": " + Why);
    }
}

} // namespace kestrel::kxtool
