// Integer conversions, file names, file attributes, the temporary folder and the command line.
#include "host/sysutils.h"

#include "host/exceptions.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrel {

std::string IntToStr(std::int64_t Value) {
    return std::to_string(Value);
}

namespace {

bool TryStrToInt(const std::string& S, std::int64_t& Value) {
    std::size_t I = 0;
    while (I < S.size() && (S[I] == ' ' || S[I] == '\t'))
        ++I;
    bool Negative = false;
    if (I < S.size() && (S[I] == '-' || S[I] == '+'))
        Negative = S[I++] == '-';
    int Base = 10;
    if (I < S.size() && S[I] == '$') {
        Base = 16;
        ++I;
    } else if (I + 1 < S.size() && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
        Base = 16;
        I += 2;
    }
    if (I == S.size())
        return false;
    std::uint64_t Magnitude = 0;
    const char* End = S.data() + S.size();
    const auto [Ptr, Ec] = std::from_chars(S.data() + I, End, Magnitude, Base);
    if (Ec != std::errc() || Ptr != End)
        return false;
    constexpr std::uint64_t Limit = std::uint64_t{1} << 63;
    if (Magnitude > (Negative ? Limit : Limit - 1))
        return false;
    Value =
        Negative ? static_cast<std::int64_t>(0 - Magnitude) : static_cast<std::int64_t>(Magnitude);
    return true;
}

} // namespace

std::int64_t StrToInt(const std::string& S) {
    std::int64_t Value = 0;
    if (!TryStrToInt(S, Value))
        throw EConvertError("'" + S + "' is not a valid integer value");
    return Value;
}

std::int64_t StrToIntDef(const std::string& S, std::int64_t Default) {
    std::int64_t Value = 0;
    return TryStrToInt(S, Value) ? Value : Default;
}

std::string ExtractFilePath(const std::string& FileName) {
    const auto Slash = FileName.rfind(PathDelim);
    return Slash == std::string::npos ? std::string() : FileName.substr(0, Slash + 1);
}

std::string ExtractFileName(const std::string& FileName) {
    const auto Slash = FileName.rfind(PathDelim);
    return Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
}

namespace {

// Index of the extension's dot within FileName, or npos.
std::size_t ExtensionDot(const std::string& FileName) {
    const auto Dot = FileName.rfind('.');
    const auto Slash = FileName.rfind(PathDelim);
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
        return std::string::npos;
    return Dot;
}

} // namespace

std::string ExtractFileExt(const std::string& FileName) {
    const auto Dot = ExtensionDot(FileName);
    return Dot == std::string::npos ? std::string() : FileName.substr(Dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
    const auto Dot = ExtensionDot(FileName);
    return (Dot == std::string::npos ? FileName : FileName.substr(0, Dot)) + Extension;
}

bool FileExists(const std::string& FileName) {
    struct stat St {};
    return ::stat(FileName.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool DirectoryExists(const std::string& Name) {
    struct stat St {};
    return ::stat(Name.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool DeleteFile(const std::string& FileName) {
    return ::unlink(FileName.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
    if (::renameat2(AT_FDCWD, OldName.c_str(), AT_FDCWD, NewName.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without no-replace renames: test, then rename.
    struct stat St {};
    if (::lstat(NewName.c_str(), &St) == 0)
        return false;
    return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool ReplaceFile(const std::string& Source, const std::string& Target) {
    return ::rename(Source.c_str(), Target.c_str()) == 0;
}

std::int64_t FileGetAttr(const std::string& FileName) {
    struct stat St {};
    if (::stat(FileName.c_str(), &St) != 0)
        return -1;
    std::int64_t Attr = 0;
    if ((St.st_mode & S_IWUSR) == 0)
        Attr |= faReadOnly;
    if (S_ISDIR(St.st_mode))
        Attr |= faDirectory;
    else if (!S_ISREG(St.st_mode))
        Attr |= faSysFile;
    else
        Attr |= faArchive;
    const std::string Name = ExtractFileName(FileName);
    if (!Name.empty() && Name[0] == '.' && Name != "." && Name != "..")
        Attr |= faHidden;
    return Attr;
}

int FileSetAttr(const std::string& FileName, std::int64_t Attr) {
    struct stat St {};
    if (::stat(FileName.c_str(), &St) != 0)
        return errno;
    mode_t Mode = St.st_mode & 07777;
    if ((Attr & faReadOnly) != 0)
        Mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        Mode |= S_IWUSR;
    return ::chmod(FileName.c_str(), Mode) == 0 ? 0 : errno;
}

std::string GetTempPath() {
    const char* Dir = std::getenv("TMPDIR");
    std::string Path = Dir != nullptr && *Dir != '\0' ? Dir : "/tmp";
    if (Path.back() != PathDelim)
        Path += PathDelim;
    return Path;
}

namespace {

std::vector<std::string>& Arguments() {
    static std::vector<std::string> Args;
    return Args;
}

} // namespace

void SetCommandLine(int argc, const char* const* argv) {
    Arguments().assign(argv, argv + argc);
}

std::string ParamStr(int Index) {
    if (Index == 0) {
        char Path[PATH_MAX];
        const ssize_t N = ::readlink("/proc/self/exe", Path, sizeof Path - 1);
        if (N > 0)
            return std::string(Path, static_cast<std::size_t>(N));
    }
    const auto& Args = Arguments();
    return Index >= 0 && static_cast<std::size_t>(Index) < Args.size() ? Args[Index]
                                                                       : std::string();
}

int ParamCount() {
    const auto Count = static_cast<int>(Arguments().size());
    return Count > 0 ? Count - 1 : 0;
}

} // namespace kestrel
