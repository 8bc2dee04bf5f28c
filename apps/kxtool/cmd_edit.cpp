// kxtool edit: applies a script of edits to a file through an edit stream and writes the result.
#include "kxtool.h"

#include "host/streams.h"
#include "host/sysutils.h"
#include "textbuff/edit_stream.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace kestrel::kxtool {
namespace {

const char* const ScriptHelp =
    R"(script lines (positions are byte offsets in the text as it is then):
  insert POS TEXT      one insertion of TEXT at POS
  type POS TEXT        TEXT typed at POS, one byte at a time
  delete POS COUNT     one deletion of COUNT bytes at POS
  backspace POS COUNT  COUNT single-byte deletions backwards from POS
  overwrite POS TEXT   TEXT written over the bytes from POS, one byte at a time
  undo [N]             undo N transactions (default 1)
  redo [N]             redo N transactions (default 1)
TEXT is the rest of the line after one space; \n \r \t \\ and \xHH are escapes.
Blank lines and lines starting with # are ignored.)";

[[noreturn]] void Fail(std::int64_t Line, const std::string& Why) {
    throw std::runtime_error("script line " + std::to_string(Line) + ": " + Why);
}

std::string Unescape(const std::string& S, std::int64_t Line) {
    std::string Result;
    for (std::size_t I = 0; I < S.size(); ++I) {
        if (S[I] != '\\') {
            Result += S[I];
            continue;
        }
        if (++I == S.size())
            Fail(Line, "a lone backslash ends the text");
        switch (S[I]) {
        case 'n':
            Result += '\n';
            break;
        case 'r':
            Result += '\r';
            break;
        case 't':
            Result += '\t';
            break;
        case '\\':
            Result += '\\';
            break;
        case 'x': {
            const std::string Hex = S.substr(I + 1, 2);
            if (Hex.size() != 2 ||
                Hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                Fail(Line, "\\x needs two hexadecimal digits");
            Result += static_cast<char>(std::stoi(Hex, nullptr, 16));
            I += 2;
            break;
        }
        default:
            Fail(Line, std::string("unknown escape \\") + S[I]);
        }
    }
    return Result;
}

std::int64_t Number(std::istringstream& In, std::int64_t Line, const char* What) {
    std::string Word;
    if (!(In >> Word))
        Fail(Line, std::string("missing ") + What);
    const std::int64_t Value = StrToIntDef(Word, -1);
    if (Value < 0)
        Fail(Line, std::string("bad ") + What + " '" + Word + "'");
    return Value;
}

/// Runs one script line on Edit; returns the number of edit calls it made.
std::int64_t RunLine(TEditStream& Edit, const std::string& Text, std::int64_t Line) {
    std::istringstream In(Text);
    std::string Verb;
    In >> Verb;
    if (Verb == "undo" || Verb == "redo") {
        std::int64_t Times = 1;
        std::string Word;
        if (In >> Word) {
            Times = StrToIntDef(Word, -1);
            if (Times < 0)
                Fail(Line, "bad count '" + Word + "'");
        }
        for (std::int64_t I = 0; I < Times; ++I)
            Verb == "undo" ? Edit.Undo() : Edit.Redo();
        return Times;
    }
    const std::int64_t Pos = Number(In, Line, "position");
    if (Verb == "delete" || Verb == "backspace") {
        const std::int64_t Count = Number(In, Line, "count");
        if (Verb == "delete") {
            Edit.Delete(Pos, Count);
            return 1;
        }
        if (Count > Pos)
            Fail(Line, "cannot backspace before the start of the text");
        for (std::int64_t I = 1; I <= Count; ++I)
            Edit.Delete(Pos - I, 1);
        return Count;
    }
    if (Verb != "insert" && Verb != "type" && Verb != "overwrite")
        Fail(Line, "unknown command '" + Verb + "'");
    std::string Rest;
    if (In.get() == ' ')
        std::getline(In, Rest);
    const std::string Bytes = Unescape(Rest, Line);
    const auto Count = static_cast<std::int64_t>(Bytes.size());
    if (Verb == "insert") {
        Edit.Insert(Bytes.data(), Pos, Count);
        return 1;
    }
    if (Verb == "overwrite" && Pos + Count > Edit.GetTextSize())
        Fail(Line, "overwrite beyond the end of the text");
    for (std::int64_t I = 0; I < Count; ++I) {
        if (Verb == "type")
            Edit.Insert(&Bytes[static_cast<std::size_t>(I)], Pos + I, 1);
        else
            Edit.ReplaceChar(Pos + I,
                             static_cast<std::uint8_t>(Bytes[static_cast<std::size_t>(I)]));
    }
    return Count;
}

int RunEdit(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--script", "--out", "--bufsize", "--max-undo"},
                                 {"--stats", "--help-script"});
    if (Args.Has("--help-script")) {
        std::cout << ScriptHelp << "\n";
        return ExitOk;
    }
    Args.ExpectPositional(1);
    if (!Args.Has("--script") || !Args.Has("--out"))
        throw TUsageError("--script and --out are required (--help-script describes scripts)");
    const std::string& Name = Args.Positional[0];
    const std::string OutName = Args.Value("--out");
    std::error_code Ignored;
    if (std::filesystem::equivalent(Name, OutName, Ignored))
        throw TUsageError("--out must not be the edited file itself");
    const std::int64_t BufSize = Args.Int("--bufsize", 4096);
    if (BufSize < 1 || BufSize > 65535)
        throw TUsageError("--bufsize must be 1 to 65535");

    std::ifstream Script(Args.Value("--script"), std::ios::binary);
    if (!Script)
        throw std::runtime_error("cannot read the script " + Args.Value("--script"));

    TEditStream Edit(nullptr);
    Edit.SetBufSize(static_cast<std::uint16_t>(BufSize));
    Edit.SetMaxUndoLevels(Args.Int("--max-undo", 10));
    Edit.SetSourceStream(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite));

    std::int64_t Calls = 0;
    std::string Text;
    for (std::int64_t Line = 1; std::getline(Script, Text); ++Line) {
        if (!Text.empty() && Text.back() == '\r')
            Text.pop_back();
        if (Text.empty() || Text[0] == '#')
            continue;
        Calls += RunLine(Edit, Text, Line);
    }

    TFileStream Out(OutName, fmCreate);
    Edit.CopyToStream(&Out, 0, Edit.GetTextSize());
    if (Args.Has("--stats"))
        std::cerr << "edit calls: " << Calls << "\ntext size: " << Edit.GetTextSize()
                  << "\nsegments: " << Edit.GetSegments().SegmentCount()
                  << "\ninserted-text store: " << Edit.GetInsertedText().GetTop() << " bytes ("
                  << Edit.GetInsertedText().GetSize() << " free)\nundo: " << Edit.GetUndoCount()
                  << " transactions, redo: " << Edit.GetRedoCount() << "\n";
    return ExitOk;
}

const TCommandRegistrar Registrar(
    {"edit", "FILE --script EDITS --out OUT [--bufsize N] [--max-undo N] [--stats] [--help-script]",
     "apply a script of edits through an edit stream, write the text", RunEdit});

} // namespace
} // namespace kestrel::kxtool
