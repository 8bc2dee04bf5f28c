// kxtool edit: applies a script of edits to a file through an edit stream and writes the result.
#include "kxtool.h"

#include "edit_script.h"
#include "key_script.h"

#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/safe_save.h"
#include "host/streams.h"
#include "kxctrls/file_editor.h"
#include "textbuff/edit_stream.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

namespace kestrel::kxtool {
namespace {

/// Reads the script as it comes (it may be a pipe) and applies each line once it is complete;
/// returns the number of edit calls made.
std::int64_t RunScript(TEditStream& Edit, const std::string& ScriptName) {
    TFileStream Script(ScriptName, fmOpenRead | fmShareDenyNone); // a folder is refused here
    std::int64_t Calls = 0;
    std::int64_t Line = 1;
    const auto Apply = [&](const std::string& Text) {
        TEditOperation Op;
        if (ParseEditScriptLine(Text, Line++, Op))
            Calls += ApplyEditOperation(Edit, Op);
    };
    std::string Pending; // the start of a line whose end has not come yet
    std::vector<char> Chunk(64 * 1024);
    for (;;) {
        const std::int64_t N = Script.Read(Chunk.data(), static_cast<std::int64_t>(Chunk.size()));
        if (N == 0)
            break;
        const std::size_t Old = Pending.size(); // holds no line feed: searched from the new bytes
        Pending.append(Chunk.data(), static_cast<std::size_t>(N));
        std::size_t From = 0;
        for (std::size_t To; (To = Pending.find('\n', std::max(From, Old))) != std::string::npos;
             From = To + 1)
            Apply(Pending.substr(From, To - From));
        Pending.erase(0, From);
    }
    if (!Pending.empty())
        Apply(Pending);
    return Calls;
}

/// The whole key script (it may be a pipe), parsed before anything is edited.
std::vector<TKeyStroke> ReadKeyScript(const std::string& ScriptName) {
    TFileStream Script(ScriptName, fmOpenRead | fmShareDenyNone);
    std::string Text;
    std::vector<char> Chunk(64 * 1024);
    for (std::int64_t N;
         (N = Script.Read(Chunk.data(), static_cast<std::int64_t>(Chunk.size()))) > 0;)
        Text.append(Chunk.data(), static_cast<std::size_t>(N));
    return ParseKeyScript(Text);
}

/// Replays Strokes through Editor on the headless platform and returns the number of keys
/// refused (beeps). A failure names the script line of the stroke that caused it.
std::int64_t ReplayKeys(TFileEditor& Editor, headless::THeadlessPlatformScope& Platform,
                        const std::vector<TKeyStroke>& Strokes) {
    Editor.SetFocus();
    Application->ProcessMessages();
    const HWND Wnd = Editor.GetHandle();
    for (const TKeyStroke& K : Strokes) {
        try {
            // A typed byte: a key of no command, then its character.
            for (const char Ch : K.Typed) {
                PostMessage(Wnd, WM_KEYDOWN, 0xE8, 0);
                PostMessage(Wnd, WM_CHAR, static_cast<std::uint8_t>(Ch), 0);
                Application->ProcessMessages();
            }
            TShiftState Shift;
            if (K.Ctrl)
                Shift.Include(ssCtrl);
            if (K.Shift)
                Shift.Include(ssShift);
            if (K.Alt)
                Shift.Include(ssAlt);
            for (std::int64_t I = 0; K.Typed.empty() && I < K.Times; ++I) {
                // The modifiers are held while the key-down (and any character it makes) is
                // handled.
                Platform.Input().SetShiftState(Shift);
                Platform.Input().PostKeyDown(K.VirtKey);
                Application->ProcessMessages();
                Platform.Input().SetShiftState({});
                Platform.Input().SetKeyState(K.VirtKey, false);
                Application->ProcessMessages();
            }
        } catch (const std::exception& Failure) {
            throw EKeyScriptError(K.Line, Failure.what());
        }
    }
    return static_cast<std::int64_t>(Platform.Dialogs().GetBeeps().size());
}

/// kxtool edit --keys: the file in a TFileEditor, the keys replayed, the text saved in place
/// (through a temporary file, with a ".BAK" backup on request) or to OutName.
void EditWithKeys(const TArgs& Args, const std::string& Name, const std::string& OutName,
                  std::int64_t BufSize) {
    // The whole script is read and checked first: a bad one writes nothing.
    const std::vector<TKeyStroke> Strokes = ReadKeyScript(Args.Value("--keys"));
    headless::THeadlessPlatformScope Platform;
    auto Editor = std::make_unique<TFileEditor>(nullptr);
    Editor->GetFont()->SetName("Courier New");
    Editor->SetBounds(0, 0, 640, 400);
    Editor->GetHandle();
    Editor->SetWrapMode(opNone);
    Editor->SetSaveMode(smParagraph); // the bytes as stored: no line breaks added
    Editor->SetBackupFiles(Args.Has("--backup"));
    Editor->SetMaxUndoLevels(Args.Int("--max-undo", 10));
    Editor->GetEditStream()->SetBufSize(static_cast<std::uint16_t>(BufSize));
    std::error_code Ignored;
    if (Name != "-" && std::filesystem::is_regular_file(Name, Ignored)) {
        Editor->SetFileName(Name);
    } else {
        if (OutName.empty())
            throw TUsageError("standard input, a pipe or a FIFO needs --out");
        Editor->SetSourceStream(OpenSeekableSource(Name, fmOpenRead | fmShareDenyWrite));
    }
    const std::int64_t Refused = ReplayKeys(*Editor, Platform, Strokes);
    if (OutName.empty())
        Editor->Save();
    else
        WritingFile(OutName, [&] { Editor->SaveAs(OutName); });
    if (Args.Has("--stats")) {
        const TEditStream& Edited = *Editor->GetEditStream();
        std::cerr << "refused keys: " << Refused << "\ntext size: " << Editor->GetTextSize()
                  << "\nundo: " << Edited.GetUndoCount()
                  << " transactions, redo: " << Edited.GetRedoCount() << "\n";
    }
}

int RunEdit(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--script", "--keys", "--out", "--bufsize", "--max-undo"},
                                 {"--stats", "--help-script", "--backup"});
    if (Args.Has("--help-script")) {
        std::cout << EditScriptHelp << "\n\n" << KeyScriptHelp << "\n";
        return ExitOk;
    }
    Args.ExpectPositional(1);
    if (Args.Has("--script") == Args.Has("--keys"))
        throw TUsageError("one of --script and --keys is required (--help-script describes "
                          "scripts)");
    if (Args.Has("--script") && !Args.Has("--out"))
        throw TUsageError("--script needs --out");
    if (Args.Has("--out") && Args.Has("--backup"))
        throw TUsageError("--backup is for a save in place, without --out");
    const std::string& Name = Args.Positional[0];
    const std::string OutName = Args.OutFile(Name, false, " (leave --out out to save in place)");
    const std::int64_t BufSize = Args.Int("--bufsize", 4096);
    if (BufSize < 1 || BufSize > 65535)
        throw TUsageError("--bufsize must be 1 to 65535");

    if (Args.Has("--keys")) {
        EditWithKeys(Args, Name, OutName, BufSize);
        return ExitOk;
    }

    TEditStream Edit(nullptr);
    Edit.SetBufSize(static_cast<std::uint16_t>(BufSize));
    Edit.SetMaxUndoLevels(Args.Int("--max-undo", 10));
    Edit.SetSourceStream(OpenSeekableSource(Name, fmOpenRead | fmShareDenyWrite));
    const std::int64_t Calls = RunScript(Edit, Args.Value("--script"));

    // The text goes to a temporary file that takes OutName's place only once it is complete.
    WritingFile(OutName, [&] {
        SaveFileSafely(OutName,
                       [&Edit](TStream* Out) { Edit.CopyToStream(Out, 0, Edit.GetTextSize()); });
    });
    if (Args.Has("--stats"))
        std::cerr << "edit calls: " << Calls << "\ntext size: " << Edit.GetTextSize()
                  << "\nsegments: " << Edit.GetSegments().SegmentCount()
                  << "\ninserted-text store: " << Edit.GetInsertedText().GetTop() << " bytes ("
                  << Edit.GetInsertedText().GetSize() << " free)\nundo: " << Edit.GetUndoCount()
                  << " transactions, redo: " << Edit.GetRedoCount() << "\n";
    return ExitOk;
}

const std::string Help = std::string("OUT is written whole or not at all: it takes its name only "
                                     "once complete.\nWithout --out (--keys only), FILE is saved "
                                     "in place the same way, held locked while edited;\n--backup "
                                     "keeps its old text as FILE with the extension .BAK.\n") +
                         FileHelp + "\n\n" + EditScriptHelp + "\n\n" + KeyScriptHelp;

const TCommandRegistrar Registrar(
    {"edit",
     "FILE (--script EDITS --out OUT | --keys KEYS [--out OUT | --backup]) [--bufsize N] "
     "[--max-undo N] [--stats] [--help-script]",
     "apply a script of edits through an edit stream (--script), or replay key presses and "
     "typed text through the file editor (--keys), write the text (or save it in place)",
     RunEdit, Help.c_str()});

} // namespace
} // namespace kestrel::kxtool
