// Deterministic generated text of any length, produced on the fly with cheap random access.
#pragma once

#include "host/streams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::testdata {

struct TGeneratedTextOptions {
    bool CrLf = false;       // lines end with CR LF instead of LF
    bool SingleLine = false; // one line of words with no line break at all
    std::uint64_t Seed = 0;  // another seed gives another text of the same shape
};

/// Text of Size bytes made of blocks of BlockSize bytes. Each block holds LinesPerBlock lines of
/// varied lengths (some empty, a few long); line i starts with "line <i> " followed by words,
/// some separated by tabs. Any byte is found without generating the text before it: the block
/// holding it is generated alone (the last one used is kept). The last line may be cut short by
/// the end of the text. With SingleLine the blocks hold words only.
class TGeneratedText {
public:
    static constexpr std::int64_t BlockSize = 4096;
    static constexpr std::int64_t LinesPerBlock = 40;

    explicit TGeneratedText(std::int64_t Size, TGeneratedTextOptions Options = {});

    std::int64_t GetSize() const { return FSize; }
    const TGeneratedTextOptions& GetOptions() const { return FOptions; }

    /// Copies the Count bytes at Pos into Dest; Pos and Count must lie within the text.
    void Fill(std::int64_t Pos, void* Dest, std::int64_t Count) const;
    std::uint8_t ByteAt(std::int64_t Pos) const;
    /// The bytes at Pos .. Pos + Count - 1, cut at the end of the text.
    std::string Text(std::int64_t Pos, std::int64_t Count) const;

    /// Number of line breaks in the text (LF bytes; the count `wc -l` gives).
    std::int64_t LineBreakCount() const;
    /// Position of the first byte of line Index (0-based); Size when the text has fewer lines.
    std::int64_t LineStart(std::int64_t Index) const;

private:
    /// Makes FBlock hold block Index (its full BlockSize bytes) and FBlockLines its line starts.
    void LoadBlock(std::int64_t Index) const;

    std::int64_t FSize;
    TGeneratedTextOptions FOptions;
    mutable std::int64_t FBlockIndex = -1;
    mutable std::vector<std::uint8_t> FBlock;      // BlockSize bytes of block FBlockIndex
    mutable std::vector<std::int64_t> FBlockLines; // offsets of the line starts in FBlock
};

/// A read-only stream over a TGeneratedText; writing raises EWriteError.
class TGeneratedTextStream : public TStream {
public:
    explicit TGeneratedTextStream(std::int64_t Size, TGeneratedTextOptions Options = {})
        : FText(Size, Options) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
    std::int64_t GetSize() override { return FText.GetSize(); }

    const TGeneratedText& GetText() const { return FText; }

private:
    TGeneratedText FText;
    std::int64_t FPosition = 0;
};

} // namespace kestrel::testdata
