// kxtool edit's script of edits: parsing the lines and applying them.
#include "edit_script.h"

#include "host/sysutils.h"
#include "textbuff/edit_stream.h"

#include <cstdio>

namespace kestrel::kxtool {

const char* const EditScriptHelp =
    R"(script lines (positions are byte offsets in the text as it is then):
  insert POS TEXT      one insertion of TEXT at POS
  type POS TEXT        TEXT typed at POS, one byte at a time
  delete POS COUNT     one deletion of COUNT bytes at POS
  backspace POS COUNT  COUNT single-byte deletions backwards from POS
  overwrite POS TEXT   TEXT written over the bytes from POS, one byte at a time
  undo [N]             undo N transactions (default 1; stops when none is left)
  redo [N]             redo N transactions (default 1; stops when none is left)
Words are separated by spaces or tabs. TEXT is the rest of the line after the one space or tab
that follows POS, and cannot be empty; \n \r \t \\ and \xHH are escapes.
Blank lines and lines starting with # are ignored.)";

namespace {

/// A word of a script as an error message shows it: control and other bytes escaped, and cut
/// short, so that the message stays one readable line.
std::string Quoted(const std::string& Word) {
    std::string Out = "'";
    for (std::size_t I = 0; I < Word.size() && I < 24; ++I) {
        const auto B = static_cast<unsigned char>(Word[I]);
        if (B < 32 || B >= 127 || B == '\'') {
            char Hex[8];
            std::snprintf(Hex, sizeof Hex, "\\x%02X", B);
            Out += Hex;
        } else {
            Out += static_cast<char>(B);
        }
    }
    return Out + (Word.size() > 24 ? "...'" : "'");
}

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

/// Reads the words of one line.
class TLineReader {
public:
    TLineReader(const std::string& Text, std::int64_t Line) : FText(Text), FLine(Line) {}

    [[noreturn]] void Fail(const std::string& Why) const { throw EEditScriptError(FLine, Why); }

    /// The next word; empty at the end of the line.
    std::string Word() {
        while (FAt < FText.size() && IsBlank(FText[FAt]))
            ++FAt;
        const std::size_t Start = FAt;
        while (FAt < FText.size() && !IsBlank(FText[FAt]))
            ++FAt;
        return FText.substr(Start, FAt - Start);
    }
    /// The next word as a number >= 0; What names it in errors.
    std::int64_t Number(const char* What) {
        const std::string W = Word();
        if (W.empty())
            Fail(std::string("missing ") + What);
        const std::int64_t Value = StrToIntDef(W, -1);
        if (Value < 0)
            Fail(std::string("bad ") + What + " " + Quoted(W));
        return Value;
    }
    /// Nothing but blanks may follow.
    void End() {
        if (const std::string W = Word(); !W.empty())
            Fail("unexpected " + Quoted(W));
    }
    /// The rest of the line after one separating space or tab.
    std::string Rest() {
        if (FAt >= FText.size() || FAt + 1 == FText.size())
            Fail("missing text");
        return FText.substr(FAt + 1); // FText[FAt] is the blank that ended the last word
    }

private:
    const std::string& FText;
    std::int64_t FLine;
    std::size_t FAt = 0;
};

std::string Unescape(const std::string& S, const TLineReader& Reader) {
    std::string Result;
    for (std::size_t I = 0; I < S.size(); ++I) {
        if (S[I] != '\\') {
            Result += S[I];
            continue;
        }
        if (++I == S.size())
            Reader.Fail("a lone backslash ends the text");
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
                Reader.Fail("\\x needs two hexadecimal digits");
            Result += static_cast<char>(std::stoi(Hex, nullptr, 16));
            I += 2;
            break;
        }
        default:
            Reader.Fail("unknown escape " + Quoted(std::string("\\") + S[I]));
        }
    }
    return Result;
}

} // namespace

EEditScriptError::EEditScriptError(std::int64_t Line, const std::string& Why)
    : std::runtime_error("script line " + std::to_string(Line) + ": " + Why), FLine(Line) {}

bool ParseEditScriptLine(std::string Text, std::int64_t Line, TEditOperation& Op) {
    if (!Text.empty() && Text.back() == '\r')
        Text.pop_back();
    TLineReader In(Text, Line);
    const std::string Verb = In.Word();
    if (Verb.empty() || Verb[0] == '#')
        return false;
    Op = TEditOperation{};
    Op.Line = Line;
    if (Verb == "undo" || Verb == "redo") {
        Op.Verb = Verb == "undo" ? TEditVerb::Undo : TEditVerb::Redo;
        const std::string Times = In.Word();
        Op.Count = Times.empty() ? 1 : StrToIntDef(Times, -1);
        if (Op.Count < 0)
            In.Fail("bad count " + Quoted(Times));
        In.End();
        return true;
    }
    if (Verb == "delete" || Verb == "backspace") {
        Op.Verb = Verb == "delete" ? TEditVerb::Delete : TEditVerb::Backspace;
        Op.Pos = In.Number("position");
        Op.Count = In.Number("count");
        In.End();
        return true;
    }
    if (Verb == "insert")
        Op.Verb = TEditVerb::Insert;
    else if (Verb == "type")
        Op.Verb = TEditVerb::Type;
    else if (Verb == "overwrite")
        Op.Verb = TEditVerb::Overwrite;
    else
        In.Fail("unknown command " + Quoted(Verb));
    Op.Pos = In.Number("position");
    Op.Text = Unescape(In.Rest(), In);
    return true;
}

std::vector<TEditOperation> ParseEditScript(const std::string& Script) {
    std::vector<TEditOperation> Ops;
    std::size_t From = 0;
    for (std::int64_t Line = 1; From < Script.size(); ++Line) {
        std::size_t To = Script.find('\n', From);
        if (To == std::string::npos)
            To = Script.size();
        TEditOperation Op;
        if (ParseEditScriptLine(Script.substr(From, To - From), Line, Op))
            Ops.push_back(std::move(Op));
        From = To + 1;
    }
    return Ops;
}

std::int64_t ApplyEditOperation(TEditStream& Edit, const TEditOperation& Op) {
    const std::int64_t Size = Edit.GetTextSize();
    const auto Fail = [&Op](const std::string& Why) { throw EEditScriptError(Op.Line, Why); };
    const auto Length = static_cast<std::int64_t>(Op.Text.size());
    switch (Op.Verb) {
    case TEditVerb::Undo:
    case TEditVerb::Redo: {
        const bool Undo = Op.Verb == TEditVerb::Undo;
        Edit.SaveChanges(); // a pending edit becomes a transaction that can be undone
        std::int64_t Done = 0;
        while (Done < Op.Count && (Undo ? Edit.GetUndoCount() : Edit.GetRedoCount()) > 0) {
            Undo ? Edit.Undo() : Edit.Redo();
            ++Done;
        }
        return Done;
    }
    case TEditVerb::Delete:
        if (Op.Pos > Size || Op.Count > Size - Op.Pos)
            Fail("cannot delete past the end of the text (" + std::to_string(Size) + " bytes)");
        Edit.Delete(Op.Pos, Op.Count);
        return 1;
    case TEditVerb::Backspace:
        if (Op.Pos > Size)
            Fail("position past the end of the text (" + std::to_string(Size) + " bytes)");
        if (Op.Count > Op.Pos)
            Fail("cannot backspace before the start of the text");
        for (std::int64_t I = 1; I <= Op.Count; ++I)
            Edit.Delete(Op.Pos - I, 1);
        return Op.Count;
    case TEditVerb::Insert:
    case TEditVerb::Type:
        if (Op.Pos > Size)
            Fail("position past the end of the text (" + std::to_string(Size) + " bytes)");
        if (Op.Verb == TEditVerb::Insert) {
            Edit.Insert(Op.Text.data(), Op.Pos, Length);
            return 1;
        }
        for (std::int64_t I = 0; I < Length; ++I)
            Edit.Insert(&Op.Text[static_cast<std::size_t>(I)], Op.Pos + I, 1);
        return Length;
    case TEditVerb::Overwrite:
        if (Op.Pos > Size || Length > Size - Op.Pos)
            Fail("overwrite beyond the end of the text");
        for (std::int64_t I = 0; I < Length; ++I)
            Edit.ReplaceChar(Op.Pos + I,
                             static_cast<std::uint8_t>(Op.Text[static_cast<std::size_t>(I)]));
        return Length;
    }
    return 0;
}

} // namespace kestrel::kxtool
