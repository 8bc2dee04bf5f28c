// TUUDecoder: finds uuencoded files in a text container and writes them out, checking their sums.
#pragma once

#include "host/new_file.h"
#include "textbuff/text_buffer.h"
#include "uuencode/uu_base.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class TUUDecoder;

/// Asked before a file is written. FileName is the begin line's name (its last path component
/// only); the handler may change it (a relative name is taken in the decoder's Directory) or set
/// Cancel to skip the file. A handler that lets the file go ahead approves replacing a file of
/// that name; without a handler an existing file is never replaced.
using TUUDecodeEvent = std::function<void(TUUDecoder* Sender, std::string& FileName, bool& Cancel)>;
/// Told when a file ends: the state it ended in (udFileChecked with uuNoError: complete and
/// verified; udDecoding: no end line; uuCancelled: removed), the first error and the path.
using TUUEndDecodeEvent = std::function<void(TUUDecoder* Sender, TUdStates State, TUUErrors Error,
                                             const std::string& FileName)>;

/// Scans the lines of a text container for uuencoded files and writes each one it finds.
///
/// Lines end at LF (a CR before it is dropped); the last line counts even without a line break.
/// Only the first MaxLineLength bytes of a line are kept, so that a text of any size, one line
/// of gigabytes included, is scanned through the container's window without being held in
/// memory. A file is written under a temporary name beside its target and takes its name when
/// it ends; one that is cancelled or cut off by an exception is removed, and no file that
/// existed before is touched unless OnStartDecode approved replacing it.
class TUUDecoder : public TUUBase {
public:
    explicit TUUDecoder(TComponent* AOwner);
    ~TUUDecoder() override;

    /// Bytes of a line that are kept; the rest of a longer line is skipped unread into memory.
    static constexpr std::int64_t MaxLineLength = 4096;
    /// The most bytes one data line may hold.
    static constexpr std::uint16_t LineCapacity = 45;

    /// Decodes every uuencoded file in Buffer from Pos on. Fires OnBlockDecode once per line
    /// (and every MiB of a longer line); a cancel stops at the end of the line. Returns True;
    /// stream errors propagate once the unfinished file is removed.
    bool UUDecode(TTextBuffer* Buffer, std::int64_t Pos);

    /// The per-state line handlers; each returns the new state.
    TUdStates StartDecode(const std::string& Line);
    TUdStates DecodeNextLine(const std::string& Line);
    TUdStates EndDecode(const std::string& Line);
    TUdStates CheckFileChecksum(const std::string& Line);

    /// Decodes the data line Line into Dest[Index ..], at most Capacity - Index bytes, and
    /// advances Index by the bytes decoded. Never reads past the end of Line.
    static TUUErrors DecodeLine(const std::uint8_t* Table, std::string_view Line,
                                std::uint8_t* Dest, std::uint16_t Capacity, std::uint16_t& Index);
    /// The longest name a file system takes for one path component.
    static constexpr std::size_t MaxNameLength = 255;
    /// The name of a begin line made safe to create: its last path component ('/' and '\' both
    /// separate), or "" when that is empty, "." or "..", longer than MaxNameLength, or holds a
    /// control byte.
    static std::string SafeFileName(const std::string& Name);

    /// The path of the file being decoded (or the last one).
    const std::string& GetFileName() const { return FileName; }
    TUdStates GetState() const { return State; }
    TUUErrors GetError() const { return Error; }
    /// The folder files are written to; "" is the current folder.
    const std::string& GetDirectory() const { return Directory; }
    void SetDirectory(const std::string& Value) { Directory = Value; }

    const TUUDecodeEvent& GetOnStartDecode() const { return OnStartDecode; }
    void SetOnStartDecode(TUUDecodeEvent Value) { OnStartDecode = std::move(Value); }
    const TUUEndDecodeEvent& GetOnEndDecode() const { return OnEndDecode; }
    void SetOnEndDecode(TUUEndDecodeEvent Value) { OnEndDecode = std::move(Value); }
    const TUUProgressEvent& GetOnBlockDecode() const { return OnBlockDecode; }
    void SetOnBlockDecode(TUUProgressEvent Value) { OnBlockDecode = std::move(Value); }

private:
    // Reads the line at ReadPos into Line (at most MaxLineLength bytes); Used is the bytes it
    // took, line break included. False at the end of the text or when cancelled in a long line.
    bool ReadLine(std::string& Line, std::int64_t& Used, std::int64_t Done, bool& Cancel);
    // True when the third word of the "sum " line Line is Sum's "Sum/Size".
    static bool SumMatches(const std::string& Line, const TSumCheck& Sum);
    void DoEndDecode();
    void WriteOutput(const std::uint8_t* Data, std::size_t Count);
    void FlushOutput();
    // Closes the output and gives it its name; raises EFCreateError when it cannot.
    void FinishOutput();
    // Closes the output and removes it.
    void DiscardOutput() noexcept;

    std::string FileName;
    TUdStates State = udInit;
    TUUErrors Error = uuNoError;
    std::string Directory;
    TUUDecodeEvent OnStartDecode;
    TUUEndDecodeEvent OnEndDecode;
    TUUProgressEvent OnBlockDecode;

    TTextBuffer* Buffer = nullptr;          // set during UUDecode
    std::int64_t ReadPos = 0;               // the next line's start in Buffer
    std::unique_ptr<TNewFileStream> Output; // the file being written, under OutputTemp
    std::string OutputTemp;                 // its temporary name; "" when there is none
    bool ReplaceExisting = false;           // FileName existed and its replacing was approved
    std::vector<std::uint8_t> Pending;      // decoded bytes not yet written to Output
};

} // namespace kestrel
