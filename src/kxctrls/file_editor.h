// TStreamEditor and TFileEditor: ready-made editors that own their edit stream and edit any
// stream, or a file given by name that they save back safely (with a ".BAK" backup).
#pragma once

#include "host/exceptions.h"
#include "host/message_dlg.h"
#include "host/streams.h"
#include "kxedit/big_editor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel {

/// A save that could not put the new text in the file's place.
KESTREL_DECLARE_EXCEPTION(ESaveError, Exception);

/// Asks what to do with unsaved changes: SaveRequest is mrYes (save first), mrNo (discard them)
/// or mrCancel (keep the text and give up the operation). It holds mrCancel when the handler
/// runs; anything but mrYes and mrNo counts as mrCancel.
using TSaveModifiedEvent = std::function<void(TObject* Sender, TModalResult& SaveRequest)>;

/// The steps of a save under the file's own name, in order.
enum TSaveStep : std::uint8_t {
    svWriting,  // the new text is about to be written to the temporary file
    svWritten,  // the temporary file is complete and on disk
    svBackedUp, // the old file has its ".BAK" name as well (only with BackupFiles)
    svReplaced, // the temporary file has taken the file's name
    svSaved,    // the folder is flushed and the editor reads the saved file
};
/// Told of each step of a save (progress, tracing, tests).
using TSaveStepEvent = std::function<void(TObject* Sender, TSaveStep Step)>;

/// An editor of any stream handed to it. It owns a TEditStream for its whole life, and the edit
/// stream owns the edited stream: it is freed when another is set, when the editor is cleared,
/// or with the editor. The edited stream itself is never written.
class TStreamEditor : public TBigEditor {
public:
    explicit TStreamEditor(TComponent* AOwner);

    /// The stream edited, or nullptr.
    TStream* GetSourceStream() const;
    /// Clears the editor and edits Stream from its start (nullptr only clears). The editor owns
    /// Stream from the call on. Nothing changes (and Stream is freed) when CanClear refuses to
    /// give up the present text, or when Stream cannot seek (EStreamError); a stream that cannot
    /// be read or is larger than a positive MaxTextSize raises and leaves the editor empty.
    void SetSourceStream(std::unique_ptr<TStream> Stream);
    /// SetSourceStream taking ownership of a stream made with new.
    void SetSourceStream(TStream* Stream) { SetSourceStream(std::unique_ptr<TStream>(Stream)); }

    /// Whether the present text may be given up; always true here.
    virtual bool CanClear() { return true; }
    /// The text viewer's LoadFromStream (a copy of Stream becomes the text), unless CanClear
    /// refuses to give up the present text: then nothing changes.
    void LoadFromStream(TStream* Stream) override;

protected:
    /// Hooks the background count into idle time as the text viewer does, so that a source
    /// that fails while it is counted stops the count after raising once.
    void DoSetFocus() override;
    /// WM_SETTEXT replaces the text only when CanClear allows it (Result 0 otherwise).
    void WMSetText(TMessage& Message) override;
};

/// An editor of a file given by name. The file is held open while it is edited (with
/// FileLocking, no other reader or writer that honours share modes can open it) and never
/// written in place: Save writes the text to a temporary ".$$$" file beside it, flushes it,
/// keeps the old file as ".BAK" (BackupFiles) and renames the new one over the file, so that the
/// file always holds one complete text, whatever fails or crashes on the way.
class TFileEditor : public TStreamEditor {
public:
    explicit TFileEditor(TComponent* AOwner);

    /// True when the present text may be given up: it is not modified, no OnSaveModified handler
    /// is set, or the handler answered mrYes and the save succeeded, or mrNo (the modified state
    /// is then cleared, the text left alone). Any other answer keeps the text: false.
    bool CanClear() override;

    const std::string& GetFileName() const { return FileName; }
    /// Edits the file Value instead of the present text, when CanClear allows it (otherwise
    /// nothing changes). An empty name only clears. A file that cannot be opened raises
    /// EFOpenError naming it and leaves the editor empty and unnamed. A read-only file asks the
    /// user (Yes, No, Cancel) whether the text is to stay read-only.
    void SetFileName(const std::string& Value);

    /// SaveAs(FileName).
    void Save();
    /// Writes the text to Name. An empty Name calls OnSaveNewFile. Under another name (exact
    /// comparison) the text is written there safely and the editor edits that file from then
    /// on. Under its own name, see the class: ESaveError "Unable to rename current file to
    /// ".bak" file" or "Unable to replace current file" when the renames fail 11 times in a row
    /// (the file on disk is then unchanged and the editor holds the new text, unnamed and
    /// modified); a read-only text is refused through OnWriteProtect, or EWriteProtectError
    /// "Write protected!" when none is set. A failure to write the new text (a full disk)
    /// leaves the file and the editor as they were.
    void SaveAs(const std::string& Name) override;

    /// Applies Value to the text now and to every file opened later (unless the read-only
    /// question is answered for it).
    void SetReadOnly(bool Value);

    std::int64_t GetFileAttributes() const { return FileAttributes; }
    void SetFileAttributes(std::int64_t Value) { FileAttributes = Value; }
    bool GetBackupFiles() const { return BackupFiles; }
    void SetBackupFiles(bool Value) { BackupFiles = Value; }
    bool GetFileLocking() const { return FileLocking; }
    /// Takes effect when the next file is opened.
    void SetFileLocking(bool Value) { FileLocking = Value; }

    TNotifyEvent GetOnSaveNewFile() const { return OnSaveNewFile; }
    void SetOnSaveNewFile(TNotifyEvent Value) { OnSaveNewFile = std::move(Value); }
    TNotifyEvent GetOnNewFileName() const { return OnNewFileName; }
    void SetOnNewFileName(TNotifyEvent Value) { OnNewFileName = std::move(Value); }
    TSaveModifiedEvent GetOnSaveModified() const { return OnSaveModified; }
    void SetOnSaveModified(TSaveModifiedEvent Value) { OnSaveModified = std::move(Value); }
    TSaveStepEvent GetOnSaveStep() const { return OnSaveStep; }
    void SetOnSaveStep(TSaveStepEvent Value) { OnSaveStep = std::move(Value); }

    /// The names a save of Target uses beside it: the backup (".BAK") and the temporary file
    /// (".$$$"), each made distinct from Target when Target itself has that extension (in any
    /// letter case): then the extension is added instead of replaced. The temporary name is
    /// one that no file has yet ("x~1.$$$" ... when "x.$$$" exists).
    static std::string BackupName(const std::string& Target);
    static std::string TempName(const std::string& Target);

protected:
    /// Unless CanClear refuses: the name and attributes go, the stream takes ReadOnlySetting,
    /// OnNewFileName, then the text goes.
    void ReInitialise() override;
    /// Takes the text of the temporary file Temp after a failed save: the editor becomes
    /// unnamed and modified, Temp is deleted (its bytes stay readable to the editor).
    void RestoreSavedFile(const std::string& Temp);

private:
    /// The file Name opened for editing, with the share mode FileLocking asks for.
    std::unique_ptr<TStream> OpenEdited(const std::string& Name) const;
    /// The text written to another file, which the editor then edits.
    void SaveToNewName(const std::string& Name, std::int64_t Attributes);
    /// The text written over its own file (see the class).
    void SaveInPlace(std::int64_t Attributes);
    /// The text viewer's save of the text to Name, with the cached offsets following the text.
    void WriteText(const std::string& Name);
    void Step(TSaveStep S);
    void DoNewFileName();

    std::int64_t FileAttributes = 0; // of FileName when opened (faReadOnly = 1); 0 unnamed
    bool Reopening = false;          // set while a save opens the file just written
    bool BackupFiles = true;
    bool FileLocking = true;
    std::string FileName;         // the edited file; empty for a text never saved
    bool ReadOnlySetting = false; // the last value given to ReadOnly
    TNotifyEvent OnSaveNewFile;   //
    TNotifyEvent OnNewFileName;   //
    TSaveModifiedEvent OnSaveModified;
    TSaveStepEvent OnSaveStep;
};

} // namespace kestrel
