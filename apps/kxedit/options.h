// kxedit's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::kxedit {

/// What the command line asks for. Screenshot and print runs render, write and exit.
struct TOptions {
    std::string FileName;
    bool ViewOnly = false;
    std::string Screenshot;    ///< --screenshot OUT.png
    bool GrabScreen = false;   ///< --grab-screen: the screenshot is of the whole screen
    std::string PrintTo;       ///< --print OUT.pdf
    std::int64_t FromPage = 0; ///< --pages A-B (0: all pages)
    std::int64_t ToPage = 0;
    std::optional<std::int64_t> GotoLine; ///< --goto LINE (from 1)
    std::string Keys;                     ///< --keys SCRIPT
    bool Save = false;                    ///< --save: over FILE, after the keys
    std::string SaveAs;                   ///< --save-as OUT
    bool Exact = false; ///< --exact: the line count runs to its end (in idle time) first
    int Width = 900;    ///< --size WxH
    int Height = 600;
    std::string Wrap = "window"; ///< --wrap none|window|printer|N
    std::string Font;            ///< --font FAMILY
    int FontSize = 10;           ///< --font-size POINTS

    /// A run that writes what it was asked for and exits, without a user.
    bool Batch() const {
        return !Screenshot.empty() || !PrintTo.empty() || Save || !SaveAs.empty();
    }
};

/// Parses the arguments (without the program name); throws std::invalid_argument with a
/// message for the user.
TOptions ParseOptions(int Argc, char** Argv);
/// The usage text.
const char* Usage();

} // namespace kestrel::kxedit
