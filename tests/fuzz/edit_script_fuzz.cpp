// Fuzzing kxtool edit's script parser: any bytes either parse into operations that keep their
// bounds, or raise the one-line "script line N: ..." error; the operations are then applied to a
// small edit stream, where they must succeed or raise the same error.
#include "edit_script.h"

#include "host/streams.h"
#include "textbuff/edit_stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void Check(bool Condition) {
    if (!Condition)
        std::abort();
}

// The tool's error: one line naming a script line.
void CheckError(const kestrel::kxtool::EEditScriptError& Error) {
    const std::string Message = Error.what();
    Check(Message.rfind("script line ", 0) == 0);
    Check(Message.find('\n') == std::string::npos && Message.find('\r') == std::string::npos);
    Check(Error.GetLine() >= 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace kestrel;
    using namespace kestrel::kxtool;
    const std::string Script(reinterpret_cast<const char*>(Data), Size);
    std::vector<TEditOperation> Ops;
    try {
        Ops = ParseEditScript(Script);
    } catch (const EEditScriptError& Error) {
        CheckError(Error);
        return 0;
    }
    for (const TEditOperation& Op : Ops) {
        Check(Op.Line >= 1 && Op.Pos >= 0 && Op.Count >= 0);
        const bool Texted = Op.Verb == TEditVerb::Insert || Op.Verb == TEditVerb::Type ||
                            Op.Verb == TEditVerb::Overwrite;
        Check(Texted != Op.Text.empty());
    }

    // Applied to a small text with a small window and undo limit, so that the edit stream's
    // window slides and its lists overflow. No operation may cost more than its bytes: an undo
    // or a redo of any count stops when its list is empty.
    TEditStream Edit(nullptr);
    Edit.SetBufSize(16);
    Edit.SetMaxUndoLevels(4);
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer("the quick brown fox\njumps over\n", 31);
    Edit.SetSourceStream(std::move(Source));
    for (const TEditOperation& Op : Ops) {
        try {
            ApplyEditOperation(Edit, Op);
        } catch (const EEditScriptError& Error) {
            CheckError(Error);
        }
    }
    TMemoryStream Out;
    Edit.CopyToStream(&Out, 0, Edit.GetTextSize());
    Check(Out.GetSize() == Edit.GetTextSize());
    return 0;
}
