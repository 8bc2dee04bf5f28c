// TSourceFileStream.
#include "host/source_file.h"

#include "host/exceptions.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

namespace {

[[noreturn]] void RaiseOpenError(const std::string& FileName, const std::string& Reason) {
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + Reason);
}

// Why a file of this type cannot be a text's source; empty for a regular file.
std::string NotRegularReason(mode_t Mode) {
    if (S_ISREG(Mode))
        return {};
    if (S_ISDIR(Mode))
        return "It is a folder, not a file";
    if (S_ISFIFO(Mode))
        return "It is a pipe (FIFO), not a regular file";
    if (S_ISCHR(Mode) || S_ISBLK(Mode))
        return "It is a device, not a regular file";
    if (S_ISSOCK(Mode))
        return "It is a socket, not a regular file";
    return "It is not a regular file";
}

// FileName when it names a regular file; raises otherwise. Looked at before opening, because
// opening a FIFO for reading waits for a writer and opening a device may act on it.
const std::string& CheckedSourceName(const std::string& FileName, std::uint16_t ShareMode) {
    if ((ShareMode & ~std::uint16_t{0x00F0}) != 0 || ShareMode > fmShareDenyNone)
        RaiseOpenError(FileName, "Invalid file open mode");
    struct stat St {};
    if (::stat(FileName.c_str(), &St) != 0)
        RaiseOpenError(FileName, std::strerror(errno));
    const std::string Why = NotRegularReason(St.st_mode);
    if (!Why.empty())
        RaiseOpenError(FileName, Why);
    return FileName;
}

} // namespace

TSourceFileStream::TSourceFileStream(const std::string& FileName, std::uint16_t ShareMode,
                                     bool AReportRemoval)
    : TFileStream(CheckedSourceName(FileName, ShareMode), fmOpenRead | ShareMode),
      ReportRemoval(AReportRemoval) {
    // The name may have been given to something else between the look and the open.
    struct stat St {};
    if (::fstat(FHandle, &St) != 0)
        RaiseOpenError(FileName, std::strerror(errno));
    const std::string Why = NotRegularReason(St.st_mode);
    if (!Why.empty())
        RaiseOpenError(FileName, Why);
    KnownSize = St.st_size;
    // A file system that shows no links for a file it has just opened by name cannot tell a
    // removal either.
    if (St.st_nlink == 0)
        ReportRemoval = false;
}

void TSourceFileStream::RaiseReadError(const std::string& Reason) const {
    throw EReadError("Cannot read file \"" + GetFileName() + "\". " + Reason);
}

void TSourceFileStream::CheckNotRemoved() const {
    if (!ReportRemoval)
        return;
    struct stat St {};
    if (::fstat(FHandle, &St) != 0)
        RaiseReadError(std::strerror(errno));
    if (St.st_nlink == 0)
        RaiseReadError("It has been deleted or replaced since it was opened");
}

std::int64_t TSourceFileStream::ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) {
    if (Pos < 0)
        throw EStreamError("Invalid stream position");
    CheckNotRemoved();
    auto* Dest = static_cast<std::uint8_t*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        const ssize_t N =
            ::pread(FHandle, Dest + Done, static_cast<std::size_t>(Count - Done), Pos + Done);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            RaiseReadError(std::strerror(errno));
        }
        if (N == 0)
            break;
        Done += N;
    }
    // The end came before the size the reader was told: the file shrank under it.
    if (Done < Count && Pos + Done < KnownSize) {
        struct stat St {};
        const std::string Now =
            ::fstat(FHandle, &St) == 0 ? ", now " + std::to_string(St.st_size) : "";
        RaiseReadError("It is shorter than when it was opened (" + std::to_string(KnownSize) +
                       " bytes" + Now + ")");
    }
    return Done;
}

std::int64_t TSourceFileStream::Read(void* Buffer, std::int64_t Count) {
    const std::int64_t Pos = Seek(0, soFromCurrent);
    const std::int64_t Done = ReadAt(Pos, Buffer, Count);
    Seek(Pos + Done, soFromBeginning);
    return Done;
}

std::int64_t TSourceFileStream::GetSize() {
    KnownSize = TFileStream::GetSize();
    return KnownSize;
}

} // namespace kestrel
