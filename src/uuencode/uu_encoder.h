// TUUEncoder: a file's bytes as uuencoded lines inserted into a text container.
#pragma once

#include "host/streams.h"
#include "textbuff/text_buffer.h"
#include "uuencode/uu_base.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// Turns bytes into uuencoded text lines (each ended by CR LF) inserted into a text container
/// at a moving position, with "sum -r/size" lines that the decoder verifies. Every method that
/// inserts returns the number of bytes it inserted.
class TUUEncoder : public TUUBase {
public:
    explicit TUUEncoder(TComponent* AOwner);
    ~TUUEncoder() override;

    /// Bytes encoded on one data line, and read from the source at a time (100 lines).
    static constexpr std::uint16_t LineBytes = 45;
    static constexpr std::uint16_t BlockBytes = 4500;

    /// Encodes the file FileName as one section into TextBuffer at Pos, naming it after the file
    /// part of Name. Raises TUUException "TextBuffer is not editable" before the file is opened
    /// when TextBuffer cannot be edited, and the stream error when the file cannot be opened.
    /// A cancel from OnBlockEncode stops the data; the closing lines are still written.
    std::int64_t UUEncodeFile(const std::string& FileName, const std::string& Name,
                              TTextBuffer* TextBuffer, std::int64_t Pos, bool& Cancelled);
    /// The same in at most Sections sections of about equal numbers of data lines (fewer when
    /// the file has fewer lines), each opened by its "Section" line and closed by its checksum
    /// line.
    std::int64_t UUEncodeFileSections(const std::string& FileName, const std::string& Name,
                                      TTextBuffer* TextBuffer, std::int64_t Pos,
                                      std::int64_t Sections, bool& Cancelled);

    /// Clears FileSum, starts section SectionNo and writes the begin line.
    std::int64_t StartEncode(const std::string& Name);
    /// Writes the "Section N of Name" line and clears SectionSum.
    std::int64_t StartSection(const std::string& Name);
    /// Encodes Stream from its position to its end, or MaxBytes bytes of it when MaxBytes is
    /// not negative, in blocks of BlockBytes, firing OnBlockEncode after each block. Stops early
    /// when cancelled. Reads until the stream delivers no more bytes, whatever size it reported.
    std::int64_t EncodeStream(TStream* Stream, bool& Cancelled, std::int64_t MaxBytes = -1);
    /// Encodes min(45, Count - Index) bytes from Data[Index] into Line as one data line and
    /// advances Index by that number. Alphabet has 64 entries.
    static void EncodeLine(const std::uint8_t* Alphabet, const std::uint8_t* Data,
                           std::string& Line, std::uint16_t Count, std::uint16_t& Index);
    /// The zero-byte line, "end", the section's and the file's checksum lines.
    std::int64_t EndEncode();
    /// The checksum line of a section that another follows; SectionNo advances.
    std::int64_t EndSection();
    /// Inserts S and CR LF at InsertPos, which moves past them, and adds S to SectionSum.
    std::int64_t InsertLine(const std::string& S);

    std::int64_t GetSectionNo() const { return SectionNo; }
    void SetSectionNo(std::int64_t Value) { SectionNo = Value; }
    /// The container the lines go to; set by UUEncodeFile for its run, or by a caller that
    /// composes the text from the steps above.
    TTextBuffer* GetTextBuffer() const { return TextBuffer; }
    void SetTextBuffer(TTextBuffer* Value) { TextBuffer = Value; }
    std::int64_t GetInsertPos() const { return InsertPos; }
    void SetInsertPos(std::int64_t Value) { InsertPos = Value; }

    const TUUProgressEvent& GetOnBlockEncode() const { return OnBlockEncode; }
    void SetOnBlockEncode(TUUProgressEvent Value) { OnBlockEncode = std::move(Value); }

private:
    // Inserts the Count bytes of Text (whole lines, already added to SectionSum) at InsertPos.
    std::int64_t InsertText(const char* Text, std::int64_t Count);
    // The file part of Name as it goes into the text: control bytes would break the line.
    static std::string TextName(const std::string& Name);
    // Checks the container before anything is written.
    void DemandEditable(TTextBuffer* Buffer) const;

    std::int64_t SectionNo = 1; // from 1
    TUUProgressEvent OnBlockEncode;
    TTextBuffer* TextBuffer = nullptr; // not owned
    std::int64_t InsertPos = 0;        // where the next line goes
};

} // namespace kestrel
