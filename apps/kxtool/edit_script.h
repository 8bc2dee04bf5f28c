// kxtool edit's script of edits: lines parsed into operations, and operations applied to an edit
// stream. Depends on the library only, so that other programs (and fuzzing) can use it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel {
class TEditStream;
}

namespace kestrel::kxtool {

/// A script line that cannot be parsed or does not fit the text: one line of text,
/// "script line N: why".
class EEditScriptError : public std::runtime_error {
public:
    EEditScriptError(std::int64_t Line, const std::string& Why);
    std::int64_t GetLine() const { return FLine; }

private:
    std::int64_t FLine;
};

enum class TEditVerb : std::uint8_t { Insert, Type, Delete, Backspace, Overwrite, Undo, Redo };

/// One script line.
struct TEditOperation {
    TEditVerb Verb = TEditVerb::Insert;
    std::int64_t Line = 0;  // >= 1: where the line is in the script
    std::int64_t Pos = 0;   // >= 0; the byte offset of every verb but undo and redo
    std::int64_t Count = 0; // >= 0; bytes of delete and backspace, times of undo and redo
    std::string Text;       // insert, type and overwrite: the bytes, escapes resolved; not empty
};

/// What the script language is, for the command's help.
extern const char* const EditScriptHelp;

/// Parses the script line Text (without its line feed; a carriage return ending it is dropped)
/// into Op. Returns false for a blank line or a comment. Raises EEditScriptError naming Line.
bool ParseEditScriptLine(std::string Text, std::int64_t Line, TEditOperation& Op);

/// Parses a whole script, lines ended by LF or CR LF.
std::vector<TEditOperation> ParseEditScript(const std::string& Script);

/// Applies Op to Edit and returns the number of edit calls it made. An operation that does not
/// fit the text as it is then (a position past its end, a backspace before its start) raises
/// EEditScriptError and changes nothing; undo and redo stop when nothing is left to undo or redo.
std::int64_t ApplyEditOperation(TEditStream& Edit, const TEditOperation& Op);

} // namespace kestrel::kxtool
