// kxtool's entry point, command registry and argument parsing.
#include "kxtool.h"

#include "host/exceptions.h"
#include "host/sysutils.h"
#include "version.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace kestrel::kxtool {

namespace {

std::vector<TCommand>& Registry() {
    static std::vector<TCommand> List;
    return List;
}

const TCommand* FindCommand(const std::string& Name) {
    for (const TCommand& C : Registry())
        if (Name == C.Name)
            return &C;
    return nullptr;
}

void PrintHelp(std::ostream& Out) {
    Out << "kxtool " << KestrelVersion()
        << ": text storage, layout and viewing from the command line\n\n"
        << "Usage: kxtool COMMAND [ARGS...]\n"
        << "       kxtool COMMAND --help\n"
        << "       kxtool --help | --version\n\n"
        << "Commands:\n";
    auto Sorted = Registry();
    std::sort(Sorted.begin(), Sorted.end(),
              [](const TCommand& A, const TCommand& B) { return std::string(A.Name) < B.Name; });
    for (const TCommand& C : Sorted)
        Out << "  " << C.Name << " " << C.Usage << "\n      " << C.Summary << "\n";
    Out << "\nExit codes: 0 success, 1 nothing found, 2 bad command line, 3 failure.\n";
}

void PrintCommandHelp(const TCommand& C, std::ostream& Out) {
    Out << "Usage: kxtool " << C.Name << " " << C.Usage << "\n" << C.Summary << "\n";
    if (C.Help != nullptr)
        Out << "\n" << C.Help << "\n";
    Out << "\nExit codes: 0 success, 1 nothing found, 2 bad command line, 3 failure.\n";
}

} // namespace

TCommandRegistrar::TCommandRegistrar(const TCommand& Command) {
    Registry().push_back(Command);
}

const std::vector<TCommand>& Commands() {
    return Registry();
}

std::string TArgs::Value(const std::string& Option, const std::string& Default) const {
    const auto It = FValues.find(Option);
    return It == FValues.end() ? Default : It->second;
}

std::int64_t TArgs::Int(const std::string& Option, std::int64_t Default) const {
    if (!Has(Option))
        return Default;
    try {
        return StrToInt(Value(Option));
    } catch (const EConvertError&) {
        throw TUsageError(Option + " needs an integer, not '" + Value(Option) + "'");
    }
}

void TArgs::ExpectPositional(std::size_t Count) const {
    if (Positional.size() < Count)
        throw TUsageError("missing argument");
    if (Positional.size() > Count)
        throw TUsageError("unexpected argument '" + Positional[Count] + "'");
}

TFindOptions TArgs::FindOptions() const {
    TFindOptions Options;
    if (!Has("--back"))
        Options.Include(frDown);
    if (Has("--case"))
        Options.Include(frMatchCase);
    if (Has("--word"))
        Options.Include(frWholeWord);
    return Options;
}

std::string TArgs::OutFile(const std::string& Edited, bool Required,
                           const std::string& Hint) const {
    if (Required && !Has("--out"))
        throw TUsageError("--out is required");
    std::string Out = Value("--out");
    std::error_code Ignored;
    if (!Out.empty() && std::filesystem::equivalent(Edited, Out, Ignored))
        throw TUsageError("--out must not be the edited file itself" + Hint);
    return Out;
}

TArgs ParseArgs(const std::vector<std::string>& Args, const std::set<std::string>& ValueOptions,
                const std::set<std::string>& Flags) {
    TArgs Result;
    for (std::size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A.size() < 3 || A.compare(0, 2, "--") != 0) {
            Result.Positional.push_back(A);
            continue;
        }
        const auto Eq = A.find('=');
        const std::string Name = A.substr(0, Eq);
        if (ValueOptions.count(Name) != 0) {
            if (Eq != std::string::npos)
                Result.FValues[Name] = A.substr(Eq + 1);
            else if (I + 1 < Args.size())
                Result.FValues[Name] = Args[++I];
            else
                throw TUsageError(Name + " needs a value");
        } else if (Flags.count(Name) != 0 && Eq == std::string::npos) {
            Result.FValues[Name] = "";
        } else {
            throw TUsageError("unknown option '" + A + "'");
        }
    }
    return Result;
}

} // namespace kestrel::kxtool

int main(int argc, char** argv) {
    using namespace kestrel::kxtool;
    kestrel::SetCommandLine(argc, argv);
    const std::vector<std::string> Args(argv + 1, argv + argc);
    if (Args.empty()) {
        PrintHelp(std::cerr);
        return ExitUsage;
    }
    if (Args[0] == "--help" || Args[0] == "-h" || Args[0] == "help") {
        PrintHelp(std::cout);
        return ExitOk;
    }
    if (Args[0] == "--version") {
        std::cout << "kxtool " << kestrel::KestrelVersion() << "\n";
        return ExitOk;
    }
    const TCommand* Command = FindCommand(Args[0]);
    if (Command == nullptr) {
        std::cerr << "kxtool: unknown command '" << Args[0] << "' (see kxtool --help)\n";
        return ExitUsage;
    }
    if (std::find(Args.begin() + 1, Args.end(), "--help") != Args.end()) {
        PrintCommandHelp(*Command, std::cout);
        return ExitOk;
    }
    // Past a file-size limit a write then fails with an error that is reported, instead of
    // the signal ending the program before it can clean up.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return Command->Run(std::vector<std::string>(Args.begin() + 1, Args.end()));
    } catch (const TUsageError& E) {
        std::cerr << "kxtool " << Command->Name << ": " << E.what() << "\nUsage: kxtool "
                  << Command->Name << " " << Command->Usage << "\n";
        return ExitUsage;
    } catch (const std::exception& E) {
        std::cerr << "kxtool " << Command->Name << ": " << E.what() << "\n";
        return ExitFailure;
    }
}
