// TStream, THandleStream, TFileStream and TMemoryStream.
#include "host/streams.h"

#include "host/exceptions.h"
#include "host/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kestrel {

namespace {

constexpr std::int64_t CopyBufferSize = 256 * 1024;

std::string Reason(int Error) {
    return std::strerror(Error);
}

[[noreturn]] void RaiseBadPosition() {
    throw EStreamError("Invalid stream position");
}

// Runs one system call again for as long as a signal interrupts it: the one place that retries
// on EINTR. Returns what the last call returned (errno set when that is negative).
template <typename TCall> auto Uninterrupted(TCall Call) {
    for (;;) {
        const auto N = Call();
        if (N >= 0 || errno != EINTR)
            return N;
    }
}

// Moves Count bytes in as many calls as it takes. Step(Done) moves some of the bytes after the
// first Done and returns how many it moved: 0 at the end of the data, negative on an error,
// which raises E with What and the reason.
template <typename E, typename TStep>
std::int64_t TransferAll(std::int64_t Count, const char* What, TStep Step) {
    std::int64_t Done = 0;
    while (Done < Count) {
        const ssize_t N = Uninterrupted([&] { return Step(Done); });
        if (N < 0)
            throw E(std::string(What) + " (" + Reason(errno) + ")");
        if (N == 0)
            break;
        Done += N;
    }
    return Done;
}

} // namespace

// --- TStream --------------------------------------------------------------------------------

std::int64_t TStream::ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) {
    const std::int64_t Position = Seek(0, soFromCurrent);
    Seek(Pos, soFromBeginning);
    std::int64_t Done;
    try {
        Done = Read(Buffer, Count);
    } catch (...) {
        Seek(Position, soFromBeginning);
        throw;
    }
    Seek(Position, soFromBeginning);
    return Done;
}

std::int64_t TStream::GetSize() {
    const std::int64_t Pos = Seek(0, soFromCurrent);
    const std::int64_t Size = Seek(0, soFromEnd);
    Seek(Pos, soFromBeginning);
    return Size;
}

void TStream::SetSize(std::int64_t /*NewSize*/) {
    throw EStreamError(ClassName() + " cannot change its size");
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
    if (Count > 0 && Read(Buffer, Count) != Count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
    if (Count > 0 && Write(Buffer, Count) != Count)
        throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream* Source, std::int64_t Count) {
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->GetSize();
    }
    if (Count <= 0)
        return 0;
    std::int64_t Left = Count;
    if (FastCopyFrom(Source, Left))
        return Count;
    std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(std::min(Left, CopyBufferSize)));
    while (Left > 0) {
        const std::int64_t N = std::min(Left, CopyBufferSize);
        Source->ReadBuffer(Buffer.data(), N);
        WriteBuffer(Buffer.data(), N);
        Left -= N;
    }
    return Count;
}

bool TStream::FastCopyFrom(TStream* Source, std::int64_t Count) {
    // Memory holds the bytes already: write them straight from there.
    auto* Memory = dynamic_cast<TMemoryStream*>(Source);
    if (Memory == nullptr)
        return false;
    const std::int64_t Pos = Memory->GetPosition();
    if (Pos + Count > Memory->GetSize())
        throw EReadError("Stream read error");
    WriteBuffer(Memory->GetMemory() + Pos, Count);
    Memory->SetPosition(Pos + Count);
    return true;
}

// --- THandleStream --------------------------------------------------------------------------

std::int64_t THandleStream::Read(void* Buffer, std::int64_t Count) {
    auto* Dest = static_cast<std::uint8_t*>(Buffer);
    return TransferAll<EReadError>(Count, "Stream read error", [&](std::int64_t Done) {
        return ::read(FHandle, Dest + Done, static_cast<std::size_t>(Count - Done));
    });
}

std::int64_t THandleStream::ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) {
    if (Pos < 0)
        RaiseBadPosition();
    auto* Dest = static_cast<std::uint8_t*>(Buffer);
    return TransferAll<EReadError>(Count, "Stream read error", [&](std::int64_t Done) {
        return ::pread(FHandle, Dest + Done, static_cast<std::size_t>(Count - Done), Pos + Done);
    });
}

std::int64_t THandleStream::Write(const void* Buffer, std::int64_t Count) {
    const auto* Src = static_cast<const std::uint8_t*>(Buffer);
    return TransferAll<EWriteError>(Count, "Stream write error", [&](std::int64_t Done) {
        return ::write(FHandle, Src + Done, static_cast<std::size_t>(Count - Done));
    });
}

std::int64_t THandleStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
    const int Whence = Origin == soFromCurrent ? SEEK_CUR
                       : Origin == soFromEnd   ? SEEK_END
                                               : SEEK_SET;
    const off_t Result = ::lseek(FHandle, Offset, Whence);
    if (Result < 0) {
        if (errno == EINVAL)
            RaiseBadPosition();
        if (errno == ESPIPE)
            throw EStreamError("The stream cannot seek: it is a pipe, a socket or a terminal");
        throw EStreamError("Stream seek error (" + Reason(errno) + ")");
    }
    return Result;
}

std::int64_t THandleStream::GetSize() {
    struct stat St {};
    if (::fstat(FHandle, &St) == 0 && S_ISREG(St.st_mode))
        return St.st_size;
    return TStream::GetSize();
}

void THandleStream::SetSize(std::int64_t NewSize) {
    if (NewSize < 0)
        RaiseBadPosition();
    if (::ftruncate(FHandle, NewSize) != 0)
        throw EWriteError("Cannot set the stream size (" + Reason(errno) + ")");
    if (GetPosition() > NewSize)
        Seek(NewSize, soFromBeginning);
}

void THandleStream::Flush() {
    if (::fsync(FHandle) != 0)
        throw EWriteError("Cannot flush the file to disk (" + Reason(errno) + ")");
}

bool THandleStream::FastCopyFrom(TStream* Source, std::int64_t Count) {
    auto* Handle = dynamic_cast<THandleStream*>(Source);
    if (Handle == nullptr)
        return TStream::FastCopyFrom(Source, Count);
    // In-kernel copy between files; falls back to the buffer where the files do not allow it.
    std::int64_t Done = 0;
    while (Done < Count) {
        const ssize_t N = Uninterrupted([&] {
            return ::copy_file_range(Handle->FHandle, nullptr, FHandle, nullptr,
                                     static_cast<std::size_t>(Count - Done), 0);
        });
        if (N > 0) {
            Done += N;
            continue;
        }
        if (N == 0)
            throw EReadError("Stream read error"); // the source ended early
        if (Done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF))
            return false;
        throw EWriteError("Stream write error (" + Reason(errno) + ")");
    }
    return true;
}

// --- TFileStream ----------------------------------------------------------------------------

namespace {

// Share state is published as shared advisory locks on four bytes far beyond any real data:
// one per kind of access held and one per kind of access denied.
constexpr off_t ShareLockBase = 0x7FFFFFFF00000000LL;
enum ShareMarker : off_t { HoldsRead = 0, HoldsWrite = 1, DeniesRead = 2, DeniesWrite = 3 };

bool MarkerHeldByOthers(int Fd, ShareMarker Marker) {
    struct flock Lock {};
    Lock.l_type = F_WRLCK;
    Lock.l_whence = SEEK_SET;
    Lock.l_start = ShareLockBase + Marker;
    Lock.l_len = 1;
    if (::fcntl(Fd, F_OFD_GETLK, &Lock) != 0)
        return false; // no lock support on this file system: nothing to honour
    return Lock.l_type != F_UNLCK;
}

void HoldMarker(int Fd, ShareMarker Marker) {
    struct flock Lock {};
    Lock.l_type = F_RDLCK;
    Lock.l_whence = SEEK_SET;
    Lock.l_start = ShareLockBase + Marker;
    Lock.l_len = 1;
    ::fcntl(Fd, F_OFD_SETLK, &Lock);
}

// Serialises the test-and-set of share markers between handles; gives up waiting after a second
// (someone else holding a whole-file lock for long) and goes on unserialised.
bool LockForShareCheck(int Fd) {
    for (int Attempt = 0; Attempt < 1000; ++Attempt) {
        if (::flock(Fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode)
    : THandleStream(-1), FFileName(FileName) {
    const bool Create = (Mode & fmCreate) == fmCreate;
    const std::uint16_t Access = Create ? fmOpenReadWrite : Mode & 0x000F;
    const std::uint16_t Share = Mode & 0x00F0;
    const auto Fail = [&](const std::string& Why) {
        if (Create)
            throw EFCreateError("Cannot create file \"" + FileName + "\". " + Why);
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + Why);
    };
    if (Access > fmOpenReadWrite || Share > fmShareDenyNone)
        Fail("Invalid file open mode");

    const int Flags = O_CLOEXEC |
                      (Access == fmOpenRead    ? O_RDONLY
                       : Access == fmOpenWrite ? O_WRONLY
                                               : O_RDWR) |
                      (Create ? O_CREAT : 0);
    FHandle = ::open(FileName.c_str(), Flags, 0666);
    if (FHandle < 0)
        Fail(Reason(errno));
    struct stat St {};
    if (::fstat(FHandle, &St) == 0 && S_ISDIR(St.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        Fail(Reason(EISDIR));
    }
    try {
        AcquireShare(Access, Share);
        // Truncate only once the share check has let us in, and only a file that has bytes:
        // truncating marks the file on some file systems (ext4) for a flush of everything
        // written before it is closed.
        struct stat Now {};
        const bool Empty = ::fstat(FHandle, &Now) == 0 && Now.st_size == 0;
        if (Create && !Empty && ::ftruncate(FHandle, 0) != 0)
            Fail(Reason(errno));
    } catch (...) {
        if (FLockHandle >= 0)
            ::close(FLockHandle);
        ::close(FHandle);
        throw;
    }
}

TFileStream::~TFileStream() {
    if (FLockHandle >= 0)
        ::close(FLockHandle);
    if (FHandle >= 0)
        ::close(FHandle);
}

void TFileStream::AcquireShare(std::uint16_t Access, std::uint16_t Share) {
    const bool WantsRead = Access != fmOpenWrite;
    const bool WantsWrite = Access != fmOpenRead;
    const bool DenyAll = Share == fmShareCompat || Share == fmShareExclusive;
    const bool DenyRead = DenyAll || Share == fmShareDenyRead;
    const bool DenyWrite = DenyAll || Share == fmShareDenyWrite;

    // Shared locks need a readable handle; a write-only stream carries them on a second one.
    int LockFd = FHandle;
    if (!WantsRead) {
        FLockHandle = ::open(FFileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (FLockHandle < 0)
            return; // unreadable file: its write-only users cannot be tracked
        LockFd = FLockHandle;
    }
    const bool Serialised = LockForShareCheck(LockFd);
    const bool Conflict = (WantsRead && MarkerHeldByOthers(LockFd, DeniesRead)) ||
                          (WantsWrite && MarkerHeldByOthers(LockFd, DeniesWrite)) ||
                          (DenyRead && MarkerHeldByOthers(LockFd, HoldsRead)) ||
                          (DenyWrite && MarkerHeldByOthers(LockFd, HoldsWrite));
    if (!Conflict) {
        if (WantsRead)
            HoldMarker(LockFd, HoldsRead);
        if (WantsWrite)
            HoldMarker(LockFd, HoldsWrite);
        if (DenyRead)
            HoldMarker(LockFd, DeniesRead);
        if (DenyWrite)
            HoldMarker(LockFd, DeniesWrite);
    }
    if (Serialised)
        ::flock(LockFd, LOCK_UN);
    if (Conflict) {
        const std::string Why = "The file is in use and its share mode does not allow this access";
        throw EFOpenError("Cannot open file \"" + FFileName + "\". " + Why);
    }
}

// --- Temporary files and spooling ------------------------------------------------------------

namespace {

// A new file in the temporary folder that has no name: unnamed from the start where the file
// system allows it, else named for a moment and removed at once.
int CreateUnnamedTempFile() {
    const std::string Folder = GetTempPath();
    int Fd = ::open(Folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (Fd >= 0)
        return Fd;
    std::string Template = Folder + "kestrel-spool-XXXXXX";
    Fd = ::mkostemp(Template.data(), O_CLOEXEC);
    if (Fd < 0)
        throw EFCreateError("Cannot create a temporary file in \"" + Folder + "\". " +
                            Reason(errno));
    ::unlink(Template.c_str());
    return Fd;
}

} // namespace

TTempFileStream::TTempFileStream() : THandleStream(CreateUnnamedTempFile()) {}

TTempFileStream::~TTempFileStream() {
    ::close(FHandle);
}

std::unique_ptr<TTempFileStream> SpoolToTempFile(TStream& Source) {
    auto Spool = std::make_unique<TTempFileStream>();
    std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(CopyBufferSize));
    for (;;) {
        const std::int64_t N = Source.Read(Buffer.data(), CopyBufferSize);
        if (N <= 0)
            break;
        Spool->WriteBuffer(Buffer.data(), N);
    }
    Spool->SetPosition(0);
    return Spool;
}

std::unique_ptr<TStream> OpenSeekableSource(const std::string& FileName, std::uint16_t Mode) {
    auto File = std::make_unique<TFileStream>(FileName == "-" ? "/dev/stdin" : FileName, Mode);
    if (::lseek(File->GetHandle(), 0, SEEK_CUR) < 0 && errno == ESPIPE)
        return SpoolToTempFile(*File);
    return File;
}

// --- TMemoryStream --------------------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
    const std::int64_t Size = GetSize();
    if (Count <= 0 || FPosition >= Size)
        return 0;
    const std::int64_t N = std::min(Count, Size - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(N));
    FPosition += N;
    return N;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
    if (Count <= 0)
        return 0;
    const std::int64_t End = FPosition + Count;
    if (End > GetSize())
        SetSize(End);
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition = End;
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
    const std::int64_t Base = Origin == soFromCurrent ? FPosition
                              : Origin == soFromEnd   ? GetSize()
                                                      : 0;
    if (Base + Offset < 0)
        RaiseBadPosition();
    FPosition = Base + Offset;
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
    if (NewSize < 0)
        RaiseBadPosition();
    try {
        FData.resize(static_cast<std::size_t>(NewSize));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory");
    } catch (const std::length_error&) {
        throw EOutOfMemory("Out of memory");
    }
    FPosition = std::min(FPosition, NewSize);
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
    Stream->SetPosition(0);
    const std::int64_t Count = Stream->GetSize();
    SetSize(Count);
    Stream->ReadBuffer(FData.data(), Count);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&File);
}

void TMemoryStream::SaveToStream(TStream* Stream) {
    Stream->WriteBuffer(FData.data(), GetSize());
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
    TFileStream File(FileName, fmCreate);
    SaveToStream(&File);
}

} // namespace kestrel
