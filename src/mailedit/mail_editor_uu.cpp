// TMailEditor: uuencoding files into the text (optionally compressed first by an external
// program) and decoding the files the text holds.
#include "mailedit/mail_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"
#include "host/sysutils.h"
#include "kxrun/kxrun.h"

#include <algorithm>

namespace kestrel {

namespace {

// Bytes a name may hold to stand bare in a command line.
bool PlainNameByte(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') ||
           std::string_view("_./:@%+,=-").find(C) != std::string_view::npos;
}

// Name as it goes into Command in place of the placeholder at At: bare when every byte is plain,
// else quoted for the command interpreter. False when it would need quoting inside quotes the
// command already puts around the placeholder (its bytes could then be read as commands).
bool CommandArgument(const std::string& Command, std::size_t At, const std::string& Name,
                     std::string& Argument) {
    if (!Name.empty() && std::all_of(Name.begin(), Name.end(), PlainNameByte)) {
        Argument = Name;
        return true;
    }
    if (At > 0 && (Command[At - 1] == '"' || Command[At - 1] == '\''))
        return false;
    Argument.assign(1, '\''); // (assigning "'" trips a false -Wrestrict in GCC 12 at -O2)
    for (const char C : Name)
        Argument += C == '\'' ? std::string("'\\''") : std::string(1, C);
    Argument += "'";
    return true;
}

} // namespace

void TMailEditor::HandleReport(TUUBase*, std::int64_t Done, bool& Cancelled) {
    Cancelled = !ReportProgress(Done);
}

TEncodeResult TMailEditor::UUEncode(const std::string& FileName, const std::string& Name) {
    if (!Buffer)
        return erFileEmpty;
    DeleteSelection();
    TUUEncoder Encoder(nullptr);
    Encoder.SetOnBlockEncode([this](TUUBase* Sender, std::int64_t Done, bool& Cancelled) {
        HandleReport(Sender, Done, Cancelled);
    });
    std::int64_t Size = 0;
    if (FileExists(FileName))
        Size = TFileStream(FileName, fmOpenRead | fmShareDenyNone).GetSize();
    if (Size < 1)
        return erFileEmpty;
    if (RefusedAsReadOnly())
        return erUserInterrupt;

    std::int64_t Offset = 0;
    std::int64_t Inserted = 0;
    bool Cancelled = false;
    {
        const TBusyModeScope Busy(*this, Size);
        DeleteSelection();
        SyncLineMap();
        Offset = LineStart; // column 0 of the caret's line
        const TEditAnchor A = AnchorBefore(Offset);
        const std::int64_t Before = GetTextSize();
        // The encoded file is an undo step of its own, so that a cancel takes back just that.
        GetEditStream()->EndUndoRecord();
        const TLeaveScope Finish([&] { RelayoutAfter(A, Offset + Inserted); });
        SetEnableUpdates(false);
        const TLeaveScope Updates([this] { SetEnableUpdates(true); });
        // A failure part way (a file that cannot be read on, a text that is full) takes back
        // what was inserted: no half-encoded file stays in the text.
        const TScopeFail Partial([&] {
            const std::int64_t Count = GetTextSize() - Before;
            if (Count > 0)
                GetEditStream()->Delete(Offset, Count);
        });
        Inserted = Encoder.UUEncodeFile(FileName, Name, Buffer.get(), Offset, Cancelled);
        if (GetTextSize() - Before != Inserted)
            throw EInternalError("The text took less than the encoded file");
    }
    if (Cancelled) {
        TakeBackInsertion(Offset, Inserted);
        return erUserInterrupt;
    }
    return erOK;
}

TEncodeResult TMailEditor::InsertCompressedFile(const std::string& Command,
                                                const std::string& Extension,
                                                const std::string& FileName) {
    const std::string Temp = GetShortFileName(TempFileName());
    DeleteFile(Temp); // the compressor makes it
    const TScopeExit Remove([&Temp] { DeleteFile(Temp); });
    const std::size_t Z = Command.find("&Z");
    const std::size_t F = Command.find("&F");
    if (Z == std::string::npos || F == std::string::npos)
        return erCompressError;
    std::string ZArg;
    std::string FArg;
    if (!CommandArgument(Command, Z, Temp, ZArg) ||
        !CommandArgument(Command, F, GetShortFileName(FileName), FArg))
        return erCompressError;
    // Both placed by their positions in the command as given: a name never supplies the other
    // placeholder.
    std::string Line = Command;
    if (Z > F) {
        Line.replace(Z, 2, ZArg);
        Line.replace(F, 2, FArg);
    } else {
        Line.replace(F, 2, FArg);
        Line.replace(Z, 2, ZArg);
    }
    bool Ran = false;
    {
        const TBusyModeScope Busy(*this, 0);
        Ran = RunDosProgram(Line);
    }
    if (!Ran)
        return erCompressError;
    return UUEncode(Temp, ChangeFileExt(FileName, "." + Extension));
}

void TMailEditor::UUDecode() {
    if (!Buffer)
        return;
    TUUDecoder Decoder(nullptr);
    Decoder.SetOnBlockDecode([this](TUUBase* Sender, std::int64_t Done, bool& Cancelled) {
        HandleReport(Sender, Done, Cancelled);
    });
    Decoder.SetOnStartDecode(OnStartDecode);
    Decoder.SetOnEndDecode(OnEndDecode);
    Decoder.SetDirectory(DecodeDirectory);
    const TBusyModeScope Busy(*this, GetTextSize());
    Decoder.UUDecode(Buffer.get(), 0);
}

} // namespace kestrel
