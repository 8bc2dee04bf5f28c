// kxtool info: what the host layer knows of a file.
#include "kxtool.h"

#include "host/streams.h"
#include "host/sysutils.h"

#include <iostream>
#include <sstream>

namespace kestrel::kxtool {
namespace {

int RunInfo(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {}, {});
    Args.ExpectPositional(1);
    const std::string& Name = Args.Positional[0];
    // Everything is found out before anything is printed: a failure prints no partial line.
    const std::int64_t Size = OpenSeekableSource(Name, fmOpenRead | fmShareDenyWrite)->GetSize();
    const std::int64_t Attr = Name == "-" ? -1 : FileGetAttr(Name);
    const bool ReadOnly = Attr >= 0 && (Attr & faReadOnly) != 0;
    std::ostringstream Out;
    Out << "file: " << Name << "\nsize: " << Size << " bytes\n"
        << "read-only: " << (ReadOnly ? "yes" : "no") << "\n";
    std::cout << Out.str();
    return ExitOk;
}

const TCommandRegistrar Registrar({"info", "FILE", "size and attributes of a file", RunInfo,
                                   FileHelp});

} // namespace
} // namespace kestrel::kxtool
