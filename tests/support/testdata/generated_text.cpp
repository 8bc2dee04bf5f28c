// Deterministic generated text: block layout, line lengths and words.
#include "support/testdata/generated_text.h"

#include "host/exceptions.h"

#include <algorithm>
#include <cstring>

namespace kestrel::testdata {

namespace {

std::uint64_t SplitMix(std::uint64_t& State) {
    std::uint64_t Z = (State += 0x9E3779B97F4A7C15ULL);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBULL;
    return Z ^ (Z >> 31);
}

constexpr const char* Words[] = {
    "alpha",   "bravo",  "charlie",    "delta", "echo",    "foxtrot",  "golf",    "hotel",
    "india",   "juliet", "kilo",       "lima",  "mike",    "november", "oscar",   "papa",
    "quebec",  "romeo",  "sierra",     "tango", "uniform", "victor",   "whiskey", "xray",
    "yankee",  "zulu",   "0123456789", "a",     "of",      "the",      "storage", "window",
    "segment", "-",      "(x)",        "[y]",   "{z};",    "don't",
};
constexpr std::size_t WordCount = sizeof Words / sizeof Words[0];

/// Appends words to Out until it holds Length bytes (the last word may be cut).
void FillWords(std::string& Out, std::size_t Length, std::uint64_t& Rng) {
    while (Out.size() < Length) {
        const std::uint64_t R = SplitMix(Rng);
        Out += Words[R % WordCount];
        Out += (R >> 32) % 23 == 0 ? '\t' : ' ';
    }
    Out.resize(Length);
}

} // namespace

TGeneratedText::TGeneratedText(std::int64_t Size, TGeneratedTextOptions Options)
    : FSize(std::max<std::int64_t>(0, Size)), FOptions(Options) {}

void TGeneratedText::LoadBlock(std::int64_t Index) const {
    if (Index == FBlockIndex)
        return;
    std::uint64_t Rng = FOptions.Seed * 0x2545F4914F6CDD1DULL + static_cast<std::uint64_t>(Index);
    SplitMix(Rng);
    std::string Block;
    Block.reserve(BlockSize);
    FBlockLines.clear();

    if (FOptions.SingleLine) {
        FillWords(Block, BlockSize, Rng);
    } else {
        // Content lengths: some lines empty, the others a base length plus a weighted share of
        // the rest, a few of them long.
        const std::int64_t Break = FOptions.CrLf ? 2 : 1;
        const std::int64_t Content = BlockSize - LinesPerBlock * Break;
        constexpr std::int64_t Base = 16;
        std::int64_t Lengths[LinesPerBlock];
        std::int64_t Weights[LinesPerBlock];
        std::int64_t WeightSum = 0;
        std::int64_t Filled = 0;
        for (std::int64_t J = 0; J < LinesPerBlock; ++J) {
            const std::uint64_t R = SplitMix(Rng);
            const bool Empty = J != LinesPerBlock - 1 && R % 16 == 0;
            Weights[J] =
                Empty ? 0 : ((R >> 8) % 8 == 0 ? 400 + (R >> 16) % 800 : 1 + (R >> 16) % 120);
            Lengths[J] = Empty ? 0 : Base;
            WeightSum += Weights[J];
            Filled += Lengths[J];
        }
        const std::int64_t Rest = Content - Filled;
        std::int64_t Given = 0;
        for (std::int64_t J = 0; J < LinesPerBlock; ++J) {
            const std::int64_t Share = Rest * Weights[J] / WeightSum;
            Lengths[J] += Share;
            Given += Share;
        }
        Lengths[LinesPerBlock - 1] += Rest - Given;

        for (std::int64_t J = 0; J < LinesPerBlock; ++J) {
            FBlockLines.push_back(static_cast<std::int64_t>(Block.size()));
            std::string Line = "line " + std::to_string(Index * LinesPerBlock + J) + " ";
            if (static_cast<std::int64_t>(Line.size()) > Lengths[J])
                Line.resize(static_cast<std::size_t>(Lengths[J]));
            FillWords(Line, static_cast<std::size_t>(Lengths[J]), Rng);
            Block += Line;
            Block += FOptions.CrLf ? "\r\n" : "\n";
        }
    }
    FBlock.assign(Block.begin(), Block.end());
    FBlockIndex = Index;
}

void TGeneratedText::Fill(std::int64_t Pos, void* Dest, std::int64_t Count) const {
    if (Pos < 0 || Count < 0 || Pos + Count > FSize)
        throw EReadError("Generated text read outside the text");
    auto* Out = static_cast<std::uint8_t*>(Dest);
    while (Count > 0) {
        LoadBlock(Pos / BlockSize);
        const std::int64_t Offset = Pos % BlockSize;
        const std::int64_t N = std::min(Count, BlockSize - Offset);
        std::memcpy(Out, FBlock.data() + Offset, static_cast<std::size_t>(N));
        Out += N;
        Pos += N;
        Count -= N;
    }
}

std::uint8_t TGeneratedText::ByteAt(std::int64_t Pos) const {
    std::uint8_t Ch = 0;
    Fill(Pos, &Ch, 1);
    return Ch;
}

std::string TGeneratedText::Text(std::int64_t Pos, std::int64_t Count) const {
    Pos = std::clamp<std::int64_t>(Pos, 0, FSize);
    Count = std::clamp<std::int64_t>(Count, 0, FSize - Pos);
    std::string Result(static_cast<std::size_t>(Count), '\0');
    Fill(Pos, Result.data(), Count);
    return Result;
}

std::int64_t TGeneratedText::LineBreakCount() const {
    if (FOptions.SingleLine)
        return 0;
    const std::int64_t Full = FSize / BlockSize;
    const std::int64_t Tail = FSize % BlockSize;
    std::int64_t Result = Full * LinesPerBlock;
    if (Tail > 0) {
        LoadBlock(Full);
        Result += std::count(FBlock.begin(), FBlock.begin() + Tail, '\n');
    }
    return Result;
}

std::int64_t TGeneratedText::LineStart(std::int64_t Index) const {
    if (Index <= 0)
        return 0;
    if (FOptions.SingleLine)
        return FSize;
    const std::int64_t Block = Index / LinesPerBlock;
    LoadBlock(Block);
    const std::int64_t Result =
        Block * BlockSize + FBlockLines[static_cast<std::size_t>(Index % LinesPerBlock)];
    return std::min(Result, FSize);
}

std::int64_t TGeneratedTextStream::Read(void* Buffer, std::int64_t Count) {
    const std::int64_t N = std::clamp<std::int64_t>(Count, 0, FText.GetSize() - FPosition);
    if (N <= 0)
        return 0;
    FText.Fill(FPosition, Buffer, N);
    FPosition += N;
    return N;
}

std::int64_t TGeneratedTextStream::Write(const void* /*Buffer*/, std::int64_t /*Count*/) {
    throw EWriteError("Generated text is read-only");
}

std::int64_t TGeneratedTextStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
    const std::int64_t Base = Origin == soFromCurrent ? FPosition
                              : Origin == soFromEnd   ? FText.GetSize()
                                                      : 0;
    if (Base + Offset < 0)
        throw EStreamError("Invalid stream position");
    FPosition = Base + Offset;
    return FPosition;
}

} // namespace kestrel::testdata
