// TMailEditor: the file editor with what composing mail needs: files and clipboard text inserted
// (also as quotations), quoted passages re-flowed under a new quote string, attachments
// uuencoded (optionally compressed first) and decoded.
#pragma once

#include "kxctrls/file_editor.h"
#include "uuencode/uuencode.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// The outcome of UUEncode and InsertCompressedFile.
enum TEncodeResult : std::uint8_t {
    erOK,            ///< the file is in the text
    erFileEmpty,     ///< the file is missing or has no bytes; nothing changed
    erUserInterrupt, ///< cancelled (or refused by a read-only text); nothing stays inserted
    erCompressError, ///< the compressor command could not be built or failed; nothing changed
};

/// A file editor for mail. Every operation is a public method; none paints or handles keys of
/// its own. Operations that change the text leave the caret after the inserted or changed text;
/// the long ones run in busy mode with progress and can be cancelled through it.
class TMailEditor : public TFileEditor {
public:
    explicit TMailEditor(TComponent* AOwner);

    /// Longest quote string GetQuoteString returns: a line without quote punctuation gives at
    /// most this many of its bytes.
    static constexpr std::int64_t MaxQuoteLength = 1024;

    /// The quote prefix of the line holding the selection's start (or the caret): "" when the
    /// line begins with a blank; otherwise its first character and the run of quote punctuation
    /// that follows the first quote punctuation character ("Al> x" gives "Al>", "> > x" ">").
    std::string GetQuoteString();
    /// Inserts the whole file FileName at the insertion point (over the selection), converting
    /// it from the OEM set when OEMConvert. A file that cannot be opened raises its stream error
    /// before anything changes.
    void InsertFile(const std::string& FileName, bool OEMConvert);
    /// Replaces the selection with the file FileName as quoted text (see InsertQuoteBuffer).
    void InsertQuoteFile(const std::string& FileName);
    /// Replaces the selection with the clipboard's text as quoted text; nothing without text on
    /// the clipboard, a beep when it is empty.
    void PasteQuoteFromClipboard();
    /// Inserts every display line of Source, broken to the editor's width less MailQuote's, as
    /// a hard line MailQuote + line + CR LF at the start of the caret's line. Source needs a
    /// canvas; its wrap width is restored afterwards. A cancel through the progress report stops
    /// it after the line being inserted (Undo takes the insertion back in one step).
    void InsertQuoteBuffer(TLinesBuffer* Source);
    /// Re-flows the selection (or the text from the caret's line to the end) as quoted
    /// paragraphs under NewQuote instead of OldQuote, breaking lines where the editor wraps
    /// them; one Undo takes it all back. Raises EUserError "Old Quote String cannot be empty",
    /// and "New Quote String leaves no room for text" when NewQuote and one character do not fit
    /// the wrap width.
    void ReformatQuotedText(const std::string& OldQuote, const std::string& NewQuote);
    /// Uuencodes the file FileName (as Name in the begin line) at the start of the caret's line,
    /// after deleting the selection.
    TEncodeResult UUEncode(const std::string& FileName, const std::string& Name);
    /// Runs Command with "&Z" replaced by a new temporary archive name and "&F" by FileName,
    /// then uuencodes the archive as FileName with the extension Extension. Names holding
    /// characters the command interpreter would read are quoted; the placeholders must then not
    /// stand inside quotes of the command (erCompressError, nothing run).
    TEncodeResult InsertCompressedFile(const std::string& Command, const std::string& Extension,
                                       const std::string& FileName);
    /// Writes every uuencoded file in the text into DecodeDirectory. A begin line's name keeps
    /// only its last path component; a file that exists is replaced only when an OnStartDecode
    /// handler lets it go ahead; a cancel removes the unfinished file only. The text is not
    /// changed.
    void UUDecode();
    /// The coders' progress handler: Cancelled when the user asked to stop.
    void HandleReport(TUUBase* Sender, std::int64_t Done, bool& Cancelled);

    const std::string& GetMailQuote() const { return MailQuote; }
    void SetMailQuote(const std::string& Value) { MailQuote = Value; }
    const TUUDecodeEvent& GetOnStartDecode() const { return OnStartDecode; }
    void SetOnStartDecode(TUUDecodeEvent Value) { OnStartDecode = std::move(Value); }
    const TUUEndDecodeEvent& GetOnEndDecode() const { return OnEndDecode; }
    void SetOnEndDecode(TUUEndDecodeEvent Value) { OnEndDecode = std::move(Value); }
    /// The folder UUDecode writes to; "" is the current folder.
    const std::string& GetDecodeDirectory() const { return DecodeDirectory; }
    void SetDecodeDirectory(const std::string& Value) { DecodeDirectory = Value; }

protected:
    /// A line before an edit, which the edit leaves where it is: the layout is taken up again
    /// from it afterwards.
    struct TEditAnchor {
        std::int64_t Start = 0;
        std::int64_t Line = 0;
        std::int64_t Page = 1;
    };
    /// The anchor for an edit at P: the display line before the one holding P. The count is
    /// kept before it.
    TEditAnchor AnchorBefore(std::int64_t P);
    /// After stream edits from the anchor's line on: the layout is taken up again there, the
    /// caret put at CaretAt and the window redrawn.
    void RelayoutAfter(const TEditAnchor& A, std::int64_t CaretAt);
    /// True (and the write-protect handler told, or EWriteProtectError raised) when the text is
    /// read-only.
    bool RefusedAsReadOnly();
    /// Takes back the Count bytes just inserted at P: by Undo when they are the whole last undo
    /// step, else by deleting them.
    void TakeBackInsertion(std::int64_t P, std::int64_t Count);

private:
    std::string MailQuote = ">";
    TUUDecodeEvent OnStartDecode;
    TUUEndDecodeEvent OnEndDecode;
    std::string DecodeDirectory;
};

} // namespace kestrel
