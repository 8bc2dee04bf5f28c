// TStreamEditor and TFileEditor.
#include "kxctrls/file_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/application.h"
#include "host/safe_save.h"
#include "host/scope_guard.h"
#include "host/source_file.h"
#include "host/sysutils.h"
#include "kxctrls/stream_viewer.h"
#include "textbuff/text_buffer.h" // EWriteProtectError

#include <cctype>

namespace kestrel {

namespace {

// Each rename (or link) of a save is tried this many times in a row before the save gives up:
// another program (a virus scanner, an indexer) may hold the file for a moment.
constexpr int RenameAttempts = 11;

bool SameNameIgnoringCase(const std::string& A, const std::string& B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (std::tolower(static_cast<unsigned char>(A[I])) !=
            std::tolower(static_cast<unsigned char>(B[I])))
            return false;
    return true;
}

// Target with Extension in place of its own, or added to it when that would give Target back
// (the file is itself called x.BAK or x.$$$): the save must never delete or write over the file
// it replaces.
std::string BesideName(const std::string& Target, const std::string& Extension) {
    const std::string Name = ChangeFileExt(Target, Extension);
    return SameNameIgnoringCase(Name, Target) ? Target + Extension : Name;
}

} // namespace

// ---- TStreamEditor ------------------------------------------------------------------------

TStreamEditor::TStreamEditor(TComponent* AOwner) : TBigEditor(AOwner) {
    SetBuffer(new TEditStream(nullptr)); // the viewer's Buffer owns it
    GetBuffer()->SetCanvas(GetCanvas());
}

TStream* TStreamEditor::GetSourceStream() const {
    return GetEditStream()->GetSourceStream();
}

void TStreamEditor::SetSourceStream(std::unique_ptr<TStream> Stream) {
    if (Stream)
        CheckSourceStream(Stream.get());
    // The present text and its edits stay when they may not be given up.
    if (!CanClear())
        return;
    Clear();
    const TScopeFail Detach([this] {
        try {
            ReInitialise();
            Redraw();
        } catch (...) { // the first failure is the one to report
        }
    });
    AdoptSourceStream(*GetEditStream(), std::move(Stream));

    const bool Empty = GetTextSize() == 0;
    CountComplete = Empty;
    SetState(vsEmpty, Empty);
    {
        const TBusyModeScope Busy(*this, 0);
        GotoStartOftext();
        SetLineNumber(0); // the caret takes the first line's measures (End goes to its end)
    }
    SetMaxLineLength(MaxLineLength);
    Redraw();
}

void TStreamEditor::LoadFromStream(TStream* Stream) {
    if (CanClear())
        TBigEditor::LoadFromStream(Stream);
}

void TStreamEditor::WMSetText(TMessage& Message) {
    if (!CanClear()) {
        Message.Result = 0;
        return;
    }
    TBigEditor::WMSetText(Message);
}

void TStreamEditor::DoSetFocus() {
    const bool WasHooked = IdleHooked;
    TBigEditor::DoSetFocus();
    if (WasHooked || !IdleHooked)
        return;
    TIdleEvent Count = Application->GetOnIdle();
    Application->SetOnIdle([this, Count](TObject* Sender, bool& Done) {
        try {
            Count(Sender, Done);
        } catch (const EStreamError&) {
            CountComplete = true; // the source cannot be read: the count ends where it is
            LineNumbersPending = false;
            throw;
        }
    });
}

// ---- TFileEditor --------------------------------------------------------------------------

TFileEditor::TFileEditor(TComponent* AOwner) : TStreamEditor(AOwner) {}

std::string TFileEditor::BackupName(const std::string& Target) {
    return BesideName(Target, ".BAK");
}

std::string TFileEditor::TempName(const std::string& Target) {
    // A file that already has the name (the user's own, or what a crashed save left) is never
    // written over: another name is taken.
    const std::string First = BesideName(Target, ".$$$");
    std::string Name = First;
    for (int N = 1; FileGetAttr(Name) != -1; ++N)
        Name = ChangeFileExt(First, "") + "~" + std::to_string(N) + ".$$$";
    return Name;
}

bool TFileEditor::CanClear() {
    if (!GetModified() || !OnSaveModified)
        return true;
    TModalResult Answer = mrCancel; // a handler that does not answer keeps the text
    OnSaveModified(this, Answer);
    if (Answer == mrYes) {
        Save();
        return !GetModified();
    }
    if (Answer == mrNo) {
        SetModified(false);
        return true;
    }
    return false;
}

void TFileEditor::ReInitialise() {
    if (!CanClear())
        return;
    FileName.clear();
    FileAttributes = 0;
    if (TEditStream* S = GetEditStream())
        S->SetReadOnly(ReadOnlySetting);
    DoNewFileName();
    TStreamEditor::ReInitialise();
}

std::unique_ptr<TStream> TFileEditor::OpenEdited(const std::string& Name) const {
    // A file deleted while it is edited stays readable, so that the edits can still be saved.
    return std::make_unique<TSourceFileStream>(
        Name, FileLocking ? fmShareExclusive : fmShareDenyNone, false);
}

void TFileEditor::SetFileName(const std::string& Value) {
    if (!CanClear())
        return;
    if (Value.empty()) {
        Clear();
        return;
    }
    SetSourceStream(nullptr); // releases the file edited so far (it may be Value itself)
    SetSourceStream(OpenEdited(Value));
    FileName = Value;
    FileAttributes = FileGetAttr(Value);
    if ((FileAttributes & faReadOnly) != 0 && !Reopening) {
        const TModalResult Answer =
            MessageDlg(Value + " is read only. Prevent changes to edited text?", mtInformation,
                       mbYesNoCancel, 0);
        if (Answer != mrYes && Answer != mrNo)
            return;
        GetEditStream()->SetReadOnly(Answer == mrYes);
    } else {
        GetEditStream()->SetReadOnly(ReadOnlySetting);
    }
    DoNewFileName();
}

void TFileEditor::SetReadOnly(bool Value) {
    ReadOnlySetting = Value;
    TBigEditor::SetReadOnly(Value);
}

void TFileEditor::Save() {
    SaveAs(FileName);
}

void TFileEditor::SaveAs(const std::string& Name) {
    if (Name.empty()) {
        if (OnSaveNewFile)
            OnSaveNewFile(this);
        return;
    }
    TLinesBuffer* Text = GetBuffer();
    Text->SetPreserveBookmarks(true); // the bookmarks survive the new source
    const TScopeExit Unpreserve([Text] { Text->SetPreserveBookmarks(false); });
    const std::int64_t Attributes = FileAttributes;
    if (Name != FileName) {
        SaveToNewName(Name, Attributes);
    } else if (GetReadOnly()) {
        // Nothing is written: said so, as for any edit of a read-only text.
        if (const TNotifyEvent Refused = GetOnWriteProtect())
            Refused(GetEditStream());
        else
            throw EWriteProtectError("Write protected!");
        return;
    } else {
        SaveInPlace(Attributes);
    }
    Redraw();
}

void TFileEditor::WriteText(const std::string& Name) {
    const bool Remap = GetRemapOnSave();
    SetRemapOnSave(true); // the cached offsets follow the text into the file written
    const TScopeExit Restore([this, Remap] { SetRemapOnSave(Remap); });
    TTextViewer::SaveAs(Name);
}

void TFileEditor::SaveToNewName(const std::string& Name, std::int64_t Attributes) {
    WriteText(Name);
    if (FileName.empty())
        FileSetAttr(Name, Attributes);
    {
        const TValueGuard<bool> Again(Reopening, true);
        GetEditStream()->SetSourceStream(OpenEdited(Name));
    }
    FileName = Name;
    FileAttributes = FileGetAttr(Name);
    SetModified(false);
    SetState(vsEmpty, GetTextSize() == 0);
    DoNewFileName();
}

void TFileEditor::SaveInPlace(std::int64_t Attributes) {
    const std::string Target = ResolveSaveTarget(FileName);
    const std::string Backup = BackupName(Target);
    const std::string Temp = TempName(Target);

    // The new text, complete and flushed, under the temporary name. Failing here (a full disk)
    // leaves the file, and the editor on it, as they were.
    Step(svWriting);
    WriteText(Temp);
    Step(svWritten);
    try {
        CopyFileMode(Target, Temp);
        // The old file gets the backup's name as well, by a link: it keeps its own name until
        // the new text takes it in one rename, so that the name always holds a whole text.
        // A backup the user made read-only is not deleted: the link to it then fails.
        const std::int64_t OldBackup = FileGetAttr(Backup);
        if (OldBackup != -1 && (OldBackup & faReadOnly) == 0)
            DeleteFile(Backup);
        if (BackupFiles && FileExists(Target)) {
            bool Linked = false;
            bool Unsupported = false;
            for (int I = 0; I < RenameAttempts && !Linked && !Unsupported; ++I)
                Linked = LinkFile(Target, Backup, Unsupported);
            if (!Linked && Unsupported) {
                // No links on this file system: the backup is a copy of the edited file.
                TStream* Old = GetSourceStream();
                SaveFileSafely(Backup, [Old](TStream* Out) {
                    if (Old->GetSize() > 0) {
                        Old->SetPosition(0);
                        Out->CopyFrom(Old, Old->GetSize());
                    }
                });
                Linked = true;
            }
            if (!Linked)
                throw ESaveError("Unable to rename current file to \".bak\" file");
            Step(svBackedUp);
        }
        bool Replaced = false;
        for (int I = 0; I < RenameAttempts && !Replaced; ++I)
            Replaced = ReplaceFile(Temp, Target);
        if (!Replaced)
            throw ESaveError("Unable to replace current file");
    } catch (...) {
        try {
            RestoreSavedFile(Temp);
        } catch (...) { // the editor keeps its text as it was; the first failure is reported
            DeleteFile(Temp);
        }
        throw;
    }
    Step(svReplaced);
    FileSetAttr(Target, Attributes);
    FlushFolderOf(Target);
    {
        const TValueGuard<bool> Again(Reopening, true);
        GetEditStream()->SetSourceStream(OpenEdited(FileName));
    }
    SetModified(false);
    SetState(vsEmpty, GetTextSize() == 0);
    Step(svSaved);
}

void TFileEditor::RestoreSavedFile(const std::string& Temp) {
    // The temporary file is read where it lies rather than copied into memory: it may be as
    // large as the text. It loses its name at once; the open handle keeps its bytes.
    GetEditStream()->SetSourceStream(
        std::make_unique<TSourceFileStream>(Temp, fmShareDenyNone, false));
    DeleteFile(Temp);
    FileName.clear();
    SetModified(GetTextSize() > 0);
    SetState(vsEmpty, GetTextSize() == 0);
    DoNewFileName();
}

void TFileEditor::Step(TSaveStep S) {
    if (OnSaveStep)
        OnSaveStep(this, S);
}

void TFileEditor::DoNewFileName() {
    if (OnNewFileName)
        OnNewFileName(this);
}

} // namespace kestrel
