// Streams: the abstract TStream, handle and file streams with share modes, and memory streams.
#pragma once

#include "host/object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

/// Seek origins.
enum : std::uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

/// TFileStream open modes: one access mode, optionally or-ed with one share mode. fmCreate
/// creates or truncates the file and opens it for reading and writing; it may carry a share mode
/// too (alone it is exclusive).
enum : std::uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000, // as on the original platform: no sharing, like fmShareExclusive
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

/// A sequence of bytes with a current position. Sizes and positions are 64-bit.
class TStream : public TObject {
public:
    /// Reads up to Count bytes at the position into Buffer; returns the number read (0 at the end).
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    /// Writes Count bytes at the position; returns the number written.
    virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
    /// Moves the position relative to Origin (soFromBeginning, soFromCurrent, soFromEnd) and
    /// returns the new position.
    virtual std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) = 0;
    /// Reads up to Count bytes at Pos into Buffer and returns the number read (0 at the end); the
    /// current position is neither used nor moved (a file stream reads with one system call).
    virtual std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count);

    std::int64_t GetPosition() { return Seek(0, soFromCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, soFromBeginning); }
    virtual std::int64_t GetSize();
    virtual void SetSize(std::int64_t NewSize);

    /// Reads exactly Count bytes or raises EReadError "Stream read error".
    void ReadBuffer(void* Buffer, std::int64_t Count);
    /// Writes exactly Count bytes or raises EWriteError "Stream write error".
    void WriteBuffer(const void* Buffer, std::int64_t Count);
    /// Copies Count bytes from Source's position to this stream's; Count 0 copies the whole of
    /// Source from its start. Returns the bytes copied.
    std::int64_t CopyFrom(TStream* Source, std::int64_t Count);

protected:
    /// Copies Count bytes when both streams allow a faster path; returns false to use the buffer.
    virtual bool FastCopyFrom(TStream* Source, std::int64_t Count);
};

/// A stream over an operating-system file handle that it does not own.
class THandleStream : public TStream {
public:
    explicit THandleStream(int AHandle) : FHandle(AHandle) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
    std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) override;
    std::int64_t GetSize() override;
    void SetSize(std::int64_t NewSize) override;

    int GetHandle() const { return FHandle; }
    /// Forces written data to the storage device; raises EWriteError when that fails.
    void Flush();

protected:
    bool FastCopyFrom(TStream* Source, std::int64_t Count) override;
    int FHandle;
};

/// A named file, opened or created with an access and a share mode. The share mode is honoured
/// by every TFileStream of this process and, through advisory locks, of other processes.
class TFileStream : public THandleStream {
public:
    /// Raises EFOpenError (or EFCreateError for fmCreate) naming the file and the reason.
    TFileStream(const std::string& FileName, std::uint16_t Mode);
    ~TFileStream() override;

    const std::string& GetFileName() const { return FFileName; }

private:
    void AcquireShare(std::uint16_t Access, std::uint16_t Share);

    std::string FFileName;
    int FLockHandle = -1; // extra read handle carrying the share locks of a write-only stream
};

/// An unnamed file in the temporary folder, read and written through a handle that the stream
/// owns: the file disappears when the stream is destroyed or the process ends, however it ends.
class TTempFileStream : public THandleStream {
public:
    /// Raises EFCreateError when the temporary folder cannot take a file.
    TTempFileStream();
    ~TTempFileStream() override;
    TTempFileStream(const TTempFileStream&) = delete;
    TTempFileStream& operator=(const TTempFileStream&) = delete;
};

/// Copies Source, from its position to its end, into a new temporary file as the bytes arrive,
/// and returns that file positioned at 0: a copy that can seek of a source that cannot (a pipe,
/// a FIFO, a terminal). A temporary folder that fills up raises EWriteError and keeps nothing.
std::unique_ptr<TTempFileStream> SpoolToTempFile(TStream& Source);

/// Opens FileName for reading as a stream that can seek. "-" stands for standard input. A file
/// that cannot seek (a pipe, a FIFO, a process substitution, a terminal) is read to its end and
/// spooled to a temporary file first; any other file is a TFileStream opened with Mode.
std::unique_ptr<TStream> OpenSeekableSource(const std::string& FileName, std::uint16_t Mode);

/// A stream held in memory, growing as it is written.
class TMemoryStream : public TStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
    std::int64_t GetSize() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t NewSize) override;

    /// The bytes of the stream; valid until the next change of its size.
    std::uint8_t* GetMemory() { return FData.data(); }
    void Clear();
    void LoadFromStream(TStream* Stream);
    void LoadFromFile(const std::string& FileName);
    void SaveToStream(TStream* Stream);
    void SaveToFile(const std::string& FileName);

private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0; // may lie beyond the end; a write there fills the gap with zeros
};

} // namespace kestrel
