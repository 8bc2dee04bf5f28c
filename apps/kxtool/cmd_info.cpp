// kxtool info: what the host layer knows of a file.
#include "kxtool.h"

#include "host/streams.h"
#include "host/sysutils.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunInfo(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {}, {});
    Args.ExpectPositional(1);
    const std::string& Name = Args.Positional[0];
    TFileStream File(Name, fmOpenRead | fmShareDenyWrite);
    const std::int64_t Attr = FileGetAttr(Name);
    std::cout << "file: " << Name << "\nsize: " << File.GetSize() << " bytes\n"
              << "read-only: " << ((Attr & faReadOnly) != 0 ? "yes" : "no") << "\n";
    return ExitOk;
}

const TCommandRegistrar Registrar({"info", "FILE", "size and attributes of a file", RunInfo});

} // namespace
} // namespace kestrel::kxtool
