// kxtool uudecode: writes every uuencoded file found in a text into a folder, through the
// decoder, and reports how each one ended.
#include "kxtool.h"

#include "host/streams.h"
#include "host/sysutils.h"
#include "textbuff/text_stream.h"
#include "uuencode/uu_decoder.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

// How a file ended, for the report; Ok is set when it is complete and nothing failed.
std::string Outcome(TUdStates State, TUUErrors Error, bool& Ok) {
    Ok = false;
    if (Error == uuUserError)
        return "exists, not replaced (--overwrite replaces it)";
    if (Error == uuSectionSumCheck)
        return "section checksum mismatch";
    if (Error == uuFileSumCheck)
        return "file checksum mismatch";
    switch (State) {
    case udFileChecked:
        Ok = true;
        return "complete, checksums verified";
    case udEnd:
    case udEndSectionChecked:
        Ok = true;
        return "complete, no file checksum";
    case uuCancelled:
        return "cancelled";
    default:
        return "incomplete: no end line";
    }
}

int RunUUDecode(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--dir"}, {"--overwrite"});
    Args.ExpectPositional(1);
    const std::string Dir = Args.Value("--dir", ".");
    if (!DirectoryExists(Dir))
        throw TUsageError("--dir must name an existing folder, not '" + Dir + "'");
    const bool Overwrite = Args.Has("--overwrite");

    TTextStream Text(nullptr);
    Text.SetBufSize(0xFFFF);
    Text.SetSourceStream(OpenSeekableSource(Args.Positional[0], fmOpenRead | fmShareDenyWrite));
    TUUDecoder Decoder(nullptr);
    Decoder.SetDirectory(Dir);
    std::int64_t Files = 0;
    bool AllOk = true;
    Decoder.SetOnStartDecode([&](TUUDecoder*, std::string& Name, bool& Cancel) {
        const std::string Path = Dir + "/" + Name;
        if (!Overwrite && (FileExists(Path) || DirectoryExists(Path))) {
            ++Files;
            AllOk = false;
            std::cout << Path << ": exists, not replaced (--overwrite replaces it)\n";
            Cancel = true;
        }
    });
    Decoder.SetOnEndDecode(
        [&](TUUDecoder*, TUdStates State, TUUErrors Error, const std::string& Path) {
            bool Ok = false;
            const std::string What = Outcome(State, Error, Ok);
            ++Files;
            AllOk = AllOk && Ok;
            std::cout << Path << ": " << What << "\n";
        });
    Decoder.UUDecode(&Text, 0);
    if (Files == 0) {
        std::cerr << "kxtool uudecode: no uuencoded file found\n";
        return ExitNotFound;
    }
    return AllOk ? ExitOk : ExitFailure;
}

const TCommandRegistrar
    Registrar({"uudecode", "TEXT [--dir DIR] [--overwrite]",
               "write the uuencoded files found in TEXT into DIR (default: the current folder), "
               "checking their checksums",
               RunUUDecode,
               "TEXT may be - for standard input; a pipe, a FIFO or standard input is first copied "
               "to an\nunnamed temporary file as it arrives (removed when kxtool ends)."});

} // namespace
} // namespace kestrel::kxtool
