// kxtool edit's key script parser.
#include "key_script.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace kestrel::kxtool {

namespace {

// The keys by name (virtual-key codes of the host's table).
const std::map<std::string, int>& KeyNames() {
    static const std::map<std::string, int> Names = {
        {"backspace", 0x08}, {"tab", 0x09},    {"enter", 0x0D},    {"escape", 0x1B},
        {"space", 0x20},     {"pageup", 0x21}, {"pagedown", 0x22}, {"end", 0x23},
        {"home", 0x24},      {"left", 0x25},   {"up", 0x26},       {"right", 0x27},
        {"down", 0x28},      {"insert", 0x2D}, {"delete", 0x2E},
    };
    return Names;
}

std::string Lower(std::string S) {
    std::transform(S.begin(), S.end(), S.begin(),
                   [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return S;
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return C >= 'a' && C <= 'f' ? C - 'a' + 10 : -1;
}

// One key: [ctrl+][shift+][alt+]NAME, NAME a key name or a single letter or digit.
TKeyStroke ParseKey(const std::string& Word, std::int64_t Line) {
    TKeyStroke K;
    K.Line = Line;
    std::string Rest = Lower(Word);
    for (;;) {
        const std::size_t Plus = Rest.find('+');
        if (Plus == std::string::npos || Plus + 1 == Rest.size())
            break;
        const std::string Mod = Rest.substr(0, Plus);
        if (Mod == "ctrl")
            K.Ctrl = true;
        else if (Mod == "shift")
            K.Shift = true;
        else if (Mod == "alt")
            K.Alt = true;
        else {
            std::string Why = "unknown modifier '";
            Why += Mod;
            Why += "' in '";
            Why += Word;
            Why += "'";
            throw EKeyScriptError(Line, Why);
        }
        Rest = Rest.substr(Plus + 1);
    }
    const auto It = KeyNames().find(Rest);
    if (It != KeyNames().end()) {
        K.VirtKey = It->second;
    } else if (Rest.size() == 1 && std::isalnum(static_cast<unsigned char>(Rest[0]))) {
        K.VirtKey = std::toupper(static_cast<unsigned char>(Rest[0]));
    } else {
        throw EKeyScriptError(Line, "unknown key '" + Word + "'");
    }
    return K;
}

// Counts Times more presses, refusing a script that makes too many.
void CountPresses(std::int64_t& Presses, std::int64_t Times, std::int64_t Line) {
    Presses += Times;
    if (Presses > MaxKeyPresses)
        throw EKeyScriptError(Line, "the script presses more than " +
                                        std::to_string(MaxKeyPresses) + " keys");
}

void ParseLine(std::string Text, std::int64_t Line, std::vector<TKeyStroke>& Out,
               std::int64_t& Presses) {
    if (!Text.empty() && Text.back() == '\r')
        Text.pop_back();
    std::size_t First = Text.find_first_not_of(" \t");
    if (First == std::string::npos || Text[First] == '#')
        return;
    const std::size_t End = Text.find_first_of(" \t", First);
    const std::string Verb = Text.substr(First, End == std::string::npos ? End : End - First);
    const std::string Rest =
        End == std::string::npos ? std::string() : Text.substr(std::min(Text.size(), End + 1));
    if (Verb == "type") {
        if (Rest.empty())
            throw EKeyScriptError(Line, "type needs the text to type");
        TKeyStroke K;
        K.Line = Line;
        for (std::size_t I = 0; I < Rest.size(); ++I) {
            char C = Rest[I];
            if (C == '\\') {
                if (I + 1 == Rest.size())
                    throw EKeyScriptError(Line, "a backslash ends the text");
                const char E = Rest[++I];
                switch (E) {
                case '\\':
                    C = '\\';
                    break;
                case 't':
                    C = '\t';
                    break;
                case 'f':
                    C = '\f';
                    break;
                case 'x': {
                    const int Hi = I + 1 < Rest.size() ? HexDigit(Rest[I + 1]) : -1;
                    const int Lo = I + 2 < Rest.size() ? HexDigit(Rest[I + 2]) : -1;
                    if (Hi < 0 || Lo < 0)
                        throw EKeyScriptError(Line, "\\x needs two hexadecimal digits");
                    C = static_cast<char>(Hi * 16 + Lo);
                    I += 2;
                    break;
                }
                default:
                    throw EKeyScriptError(Line, std::string("unknown escape \\") + E);
                }
            }
            if (C == '\0')
                throw EKeyScriptError(Line, "a zero byte cannot be typed");
            K.Typed += C;
        }
        CountPresses(Presses, static_cast<std::int64_t>(K.Typed.size()), Line);
        Out.push_back(std::move(K));
        return;
    }
    if (Verb == "key") {
        std::istringstream Words(Rest);
        std::string Word;
        bool Any = false;
        while (Words >> Word) {
            std::int64_t Times = 1;
            const std::size_t Star = Word.find('*');
            if (Star != std::string::npos) {
                const std::string Count = Word.substr(Star + 1);
                if (Count.empty() || Count.size() > 6 ||
                    !std::all_of(Count.begin(), Count.end(),
                                 [](unsigned char C) { return std::isdigit(C) != 0; }))
                    throw EKeyScriptError(Line, "a repeat count is 1 to 999999: '" + Word + "'");
                Times = std::stoll(Count);
                if (Times < 1 || Times > MaxKeyRepeat)
                    throw EKeyScriptError(Line, "a repeat count is 1 to 999999: '" + Word + "'");
                Word = Word.substr(0, Star);
            }
            TKeyStroke K = ParseKey(Word, Line);
            K.Times = Times;
            CountPresses(Presses, Times, Line);
            Out.push_back(K);
            Any = true;
        }
        if (!Any)
            throw EKeyScriptError(Line, "key needs at least one key");
        return;
    }
    throw EKeyScriptError(Line, "unknown verb '" + Verb + "' (type or key)");
}

} // namespace

EKeyScriptError::EKeyScriptError(std::int64_t Line, const std::string& Why)
    : std::runtime_error("key script line " + std::to_string(Line) + ": " + Why), FLine(Line) {}

const char* const KeyScriptHelp =
    "A key script has one item a line; blank lines and lines starting with # are skipped.\n"
    "  type TEXT         types the characters of TEXT (everything after 'type '); escapes: \\\\,\n"
    "                    \\t (tab), \\f (form feed), \\xHH (any byte but 00)\n"
    "  key KEY...        presses keys in turn; KEY is [ctrl+][shift+][alt+]NAME[*N], NAME a "
    "letter,\n"
    "                    a digit or one of backspace tab enter escape space pageup pagedown end\n"
    "                    home left up right down insert delete; *N presses it N times\n"
    "Keys run the editor's commands as bound by default: enter a new line, backspace, delete,\n"
    "insert (overwrite mode), ctrl+y (delete line), ctrl+t (delete word), ctrl+q then d or s (to\n"
    "the line's end or start), alt+backspace (undo), ctrl+r (redo), the arrows and their ctrl and\n"
    "shift forms (move, select). Cutting and pasting are refused (a beep); --stats counts the\n"
    "refused keys. The text is written only when every key has been replayed; a failure names\n"
    "the script line whose key caused it.";

std::vector<TKeyStroke> ParseKeyScript(const std::string& Script) {
    std::vector<TKeyStroke> Out;
    std::int64_t Presses = 0;
    std::int64_t Line = 1;
    std::size_t From = 0;
    while (From <= Script.size()) {
        const std::size_t To = Script.find('\n', From);
        ParseLine(Script.substr(From, To == std::string::npos ? To : To - From), Line++, Out,
                  Presses);
        if (To == std::string::npos)
            break;
        From = To + 1;
    }
    return Out;
}

} // namespace kestrel::kxtool
