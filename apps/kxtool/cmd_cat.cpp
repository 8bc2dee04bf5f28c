// kxtool cat: writes a range of a file to standard output, read window by window through a text
// stream.
#include "kxtool.h"

#include "host/streams.h"
#include "macros/macros.h"
#include "textbuff/text_stream.h"

#include <vector>

namespace kestrel::kxtool {
namespace {

int RunCat(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--offset", "--count", "--bufsize"}, {"--oem"});
    Args.ExpectPositional(1);
    const std::int64_t BufSize = Args.Int("--bufsize", 65535); // the widest window
    if (BufSize < 1 || BufSize > 65535)
        throw TUsageError("--bufsize must be 1 to 65535");
    TTextStream Text(nullptr);
    Text.SetBufSize(static_cast<std::uint16_t>(BufSize));
    Text.SetOEMConvert(Args.Has("--oem"));
    Text.SetSourceStream(OpenSeekableSource(Args.Positional[0], fmOpenRead | fmShareDenyNone));

    const std::int64_t Size = Text.GetTextSize();
    std::int64_t Pos = Args.Int("--offset", 0);
    if (Pos < 0 || Pos > Size)
        throw TUsageError("--offset must be 0 to the file's size (" + std::to_string(Size) + ")");
    std::int64_t Left = min(Args.Int("--count", Size - Pos), Size - Pos);
    if (Left < 0)
        throw TUsageError("--count cannot be negative");

    // Output is gathered so that a small window does not mean a small write.
    THandleStream Out(1);
    std::vector<std::uint8_t> Pending;
    constexpr std::size_t Chunk = 256 * 1024;
    Pending.reserve(Chunk + 65536);
    while (Left > 0) {
        const std::uint8_t* P = Text.GetText(Pos);
        const std::int64_t N = min(Left, Text.GetValidEnd() - P + 1);
        Pending.insert(Pending.end(), P, P + N);
        if (Pending.size() >= Chunk) {
            Out.WriteBuffer(Pending.data(), static_cast<std::int64_t>(Pending.size()));
            Pending.clear();
        }
        Pos += N;
        Left -= N;
    }
    Out.WriteBuffer(Pending.data(), static_cast<std::int64_t>(Pending.size()));
    return ExitOk;
}

const TCommandRegistrar Registrar({"cat", "FILE [--offset N] [--count N] [--bufsize N] [--oem]",
                                   "write bytes of a file, read through a text stream's window",
                                   RunCat, FileHelp});

} // namespace
} // namespace kestrel::kxtool
