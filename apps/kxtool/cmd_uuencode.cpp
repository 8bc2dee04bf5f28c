// kxtool uuencode: a file as uuencoded text, made in an edit stream by the encoder and saved.
#include "kxtool.h"

#include "host/safe_save.h"
#include "host/sysutils.h"
#include "textbuff/edit_stream.h"
#include "uuencode/uu_encoder.h"

#include <algorithm>
#include <filesystem>

namespace kestrel::kxtool {
namespace {

int RunUUEncode(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--out", "--sections", "--name"}, {});
    Args.ExpectPositional(1);
    if (!Args.Has("--out"))
        throw TUsageError("--out is required");
    const std::int64_t Sections = Args.Int("--sections", 1);
    if (Sections < 1)
        throw TUsageError("--sections must be 1 or more");
    const std::string& File = Args.Positional[0];
    const std::string Name = Args.Value("--name", ExtractFileName(File));
    if (std::filesystem::exists(File) && !std::filesystem::is_regular_file(File))
        throw TUsageError("FILE must be a regular file, not '" + File + "'");

    TEditStream Text(nullptr);
    Text.SetMaxUndoLevels(0);
    // The text's size is known ahead (63 bytes a line at most, and a few short lines): room for
    // it in the store of inserted bytes spares the store's growth its copies and page faults.
    // Growing to that size and back to empty keeps the room (the store is a vector of bytes).
    std::error_code Unknown;
    const auto Size = static_cast<std::int64_t>(std::filesystem::file_size(File, Unknown));
    if (!Unknown && Size > 0) {
        TMemoryStream* Store = Text.GetInsertedText().GetStream();
        const std::int64_t Lines = (Size + 44) / 45; // no section is without a line
        Store->SetSize(Lines * 63 + 4096 * std::min(Sections, Lines));
        Store->SetSize(0);
    }
    TUUEncoder Encoder(nullptr);
    bool Cancelled = false;
    Encoder.UUEncodeFileSections(File, Name, &Text, 0, Sections, Cancelled);
    SaveFileSafely(Args.Value("--out"),
                   [&](TStream* Out) { Text.CopyToStream(Out, 0, Text.GetTextSize()); });
    return ExitOk;
}

const TCommandRegistrar Registrar(
    {"uuencode", "FILE --out TEXT [--sections N] [--name NAME]",
     "write FILE as uuencoded text with checksum lines, in N sections (default 1)", RunUUEncode,
     "FILE is read by name and must be a regular file (its size sets the sections)."});

} // namespace
} // namespace kestrel::kxtool
