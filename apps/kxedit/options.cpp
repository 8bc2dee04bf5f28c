// Parsing kxedit's command line.
#include "options.h"

#include <charconv>
#include <stdexcept>

namespace kestrel::kxedit {

namespace {

std::int64_t Number(const std::string& Option, const std::string& Text) {
    std::int64_t N = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), N);
    if (Error != std::errc{} || End != Text.data() + Text.size())
        throw std::invalid_argument(Option + " needs a number, not '" + Text + "'");
    return N;
}

} // namespace

const char* Usage() {
    return "usage: kxedit [--view] [FILE] [--wrap none|window|printer|N] [--font FAMILY]\n"
           "              [--font-size POINTS]\n"
           "       kxedit FILE --screenshot OUT.png [--goto LINE] [--keys SCRIPT] [--exact]\n"
           "              [--size WxH] [--grab-screen] [--print OUT.pdf [--pages A-B]]\n"
           "              [--save | --save-as OUT]\n"
           "\n"
           "Edits FILE in a window (--view: shows it read-only). --screenshot renders the window\n"
           "offscreen (unless QT_QPA_PLATFORM names another platform), writes it as PNG and\n"
           "exits; --grab-screen takes the whole screen instead. --goto puts the caret on a\n"
           "line, --keys types a script of keys first: names as in menus, separated by spaces\n"
           "(\"Down Down Shift+End Ctrl+End PgUp\"). --exact lets the line count run to its end\n"
           "in idle time first. --print writes pages to a PDF file. --save saves the edited\n"
           "text over FILE (the old one kept as FILE's .BAK), --save-as writes it to OUT;\n"
           "either runs after the keys, without a window on the screen.\n";
}

TOptions ParseOptions(int Argc, char** Argv) {
    TOptions O;
    for (int I = 0; I < Argc; ++I) {
        const std::string A = Argv[I];
        const auto Value = [&]() -> std::string {
            if (I + 1 >= Argc)
                throw std::invalid_argument(A + " needs a value");
            return Argv[++I];
        };
        if (A == "--view") {
            O.ViewOnly = true;
        } else if (A == "--screenshot") {
            O.Screenshot = Value();
        } else if (A == "--grab-screen") {
            O.GrabScreen = true;
        } else if (A == "--print") {
            O.PrintTo = Value();
        } else if (A == "--pages") {
            const std::string V = Value();
            const auto Dash = V.find('-');
            O.FromPage = Number(A, V.substr(0, Dash));
            O.ToPage = Dash == std::string::npos ? O.FromPage : Number(A, V.substr(Dash + 1));
            if (O.FromPage < 1 || O.ToPage < O.FromPage)
                throw std::invalid_argument("--pages needs 1 <= A <= B");
        } else if (A == "--goto") {
            O.GotoLine = Number(A, Value());
            if (*O.GotoLine < 1)
                throw std::invalid_argument("--goto counts lines from 1");
        } else if (A == "--exact") {
            O.Exact = true;
        } else if (A == "--keys") {
            O.Keys = Value();
        } else if (A == "--save") {
            O.Save = true;
        } else if (A == "--save-as") {
            O.SaveAs = Value();
        } else if (A == "--size") {
            const std::string V = Value();
            const auto X = V.find('x');
            if (X == std::string::npos)
                throw std::invalid_argument("--size is WIDTHxHEIGHT");
            O.Width = static_cast<int>(Number(A, V.substr(0, X)));
            O.Height = static_cast<int>(Number(A, V.substr(X + 1)));
            if (O.Width < 200 || O.Height < 150 || O.Width > 8000 || O.Height > 8000)
                throw std::invalid_argument("--size is 200x150 to 8000x8000");
        } else if (A == "--wrap") {
            O.Wrap = Value();
            if (O.Wrap != "none" && O.Wrap != "window" && O.Wrap != "printer" &&
                Number(A, O.Wrap) < 1)
                throw std::invalid_argument("--wrap is none, window, printer or a length");
        } else if (A == "--font") {
            O.Font = Value();
        } else if (A == "--font-size") {
            O.FontSize = static_cast<int>(Number(A, Value()));
            if (O.FontSize < 4 || O.FontSize > 96)
                throw std::invalid_argument("--font-size is 4 to 96 points");
        } else if (A == "--help" || A == "-h") {
            throw std::invalid_argument("");
        } else if (!A.empty() && A[0] == '-' && A != "-") {
            throw std::invalid_argument("unknown option " + A);
        } else if (O.FileName.empty()) {
            O.FileName = A;
        } else {
            throw std::invalid_argument("one file at a time");
        }
    }
    if (O.Batch() && O.FileName.empty())
        throw std::invalid_argument("--screenshot, --print and --save need a FILE");
    if ((O.Save || !O.SaveAs.empty()) && O.ViewOnly)
        throw std::invalid_argument("--view shows a file read-only: it cannot save it");
    if (O.Save && !O.SaveAs.empty())
        throw std::invalid_argument("--save or --save-as, not both");
    if (O.GrabScreen && O.Screenshot.empty())
        throw std::invalid_argument("--grab-screen needs --screenshot");
    return O;
}

} // namespace kestrel::kxedit
