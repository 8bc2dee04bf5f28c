// Integer conversions, file names, file attributes, the temporary folder and the command line.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

std::string IntToStr(std::int64_t Value);
/// Decimal, or hexadecimal after "$" or "0x", with optional leading blanks and sign; anything
/// else raises EConvertError "'<text>' is not a valid integer value".
std::int64_t StrToInt(const std::string& S);
std::int64_t StrToIntDef(const std::string& S, std::int64_t Default);

// File names. The path delimiter is '/'.
constexpr char PathDelim = '/';
/// The folder part of FileName, with its trailing delimiter ("" when there is none).
std::string ExtractFilePath(const std::string& FileName);
/// The name after the last delimiter.
std::string ExtractFileName(const std::string& FileName);
/// The extension of the name, with its dot ("" when there is none).
std::string ExtractFileExt(const std::string& FileName);
/// FileName with its extension replaced by Extension (which includes the dot, or is empty).
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);

// Files.
/// True for an existing file that is not a folder.
bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Name);
bool DeleteFile(const std::string& FileName);
/// Renames OldName to NewName; fails (false) when NewName exists.
bool RenameFile(const std::string& OldName, const std::string& NewName);
/// Puts Source in the place of Target in one step, replacing Target if it exists.
bool ReplaceFile(const std::string& Source, const std::string& Target);

/// File attributes; faReadOnly comes from and goes to the write permission bits.
enum : std::int64_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
};
/// The attributes of FileName, or -1 when it does not exist. Names starting with '.' are hidden.
std::int64_t FileGetAttr(const std::string& FileName);
/// Applies faReadOnly (clears every write bit) or its absence (gives the owner write access);
/// returns 0 or the operating system's error code.
int FileSetAttr(const std::string& FileName, std::int64_t Attr);

/// The folder for temporary files, with a trailing delimiter ($TMPDIR, else /tmp/).
std::string GetTempPath();

/// Records the program's arguments for ParamStr and ParamCount.
void SetCommandLine(int argc, const char* const* argv);
/// Argument Index of the program; 0 is the full path of the running executable.
std::string ParamStr(int Index);
int ParamCount();

} // namespace kestrel
