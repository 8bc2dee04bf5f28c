// A single line of 100 MB without a line break: scanned, measured, wrapped and searched window
// by window, with no heap allocation while it is scanned.
#include "textbuff/lines_buffer.h"
#include "textbuff/text_stream.h"

#include "host/graphics.h"
#include "host/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<long> Allocations{0};
[[gnu::noinline]] void* Allocate(std::size_t Size) {
    return std::malloc(Size == 0 ? 1 : Size);
}
[[gnu::noinline]] void Release(void* P) {
    std::free(P);
}
} // namespace

// Counts the allocations of this test program.
void* operator new(std::size_t Size) {
    ++Allocations;
    if (void* P = Allocate(Size))
        return P;
    throw std::bad_alloc();
}
void operator delete(void* P) noexcept {
    Release(P);
}
void operator delete(void* P, std::size_t) noexcept {
    Release(P);
}

namespace kestrel {
namespace {

constexpr std::int64_t Size = 100 << 20;
const std::string Needle = "needle";

// "abcdefg " over and over, ending in the needle; made on the fly, nothing stored.
class TOneLineStream : public TStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        Count = std::max<std::int64_t>(0, std::min(Count, Size - FPosition));
        auto* Out = static_cast<char*>(Buffer);
        for (std::int64_t I = 0; I < Count; ++I, ++FPosition) {
            const std::int64_t FromEnd = Size - FPosition;
            Out[I] = FromEnd <= static_cast<std::int64_t>(Needle.size())
                         ? Needle[Needle.size() - static_cast<std::size_t>(FromEnd)]
                         : "abcdefg "[FPosition % 8];
        }
        ++Reads;
        return Count;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override {
        FPosition = Origin == soFromBeginning ? Offset
                    : Origin == soFromCurrent ? FPosition + Offset
                                              : Size + Offset;
        return FPosition;
    }
    std::int64_t GetSize() override { return Size; }

    std::int64_t Reads = 0;

private:
    std::int64_t FPosition = 0;
};

class HugeLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Canvas.SetHandle(Graphics.Graphics().GetScreenDC());
        Canvas.GetFont()->SetName("Courier New");
        Canvas.GetFont()->SetHeight(-13); // 8 pixels a byte
        auto Source = std::make_unique<TOneLineStream>();
        Source_ = Source.get();
        Text.SetSourceStream(std::move(Source));
        Text.SetCanvas(&Canvas);
    }
    void TearDown() override { Text.SetCanvas(nullptr); }

    headless::THeadlessGraphicsScope Graphics;
    TCanvas Canvas;
    TTextStream Text{nullptr};
    TOneLineStream* Source_ = nullptr;
};

TEST_F(HugeLineTest, OneLineScannedWindowByWindowWithoutAllocating) {
    std::int64_t Pos = 0, Width = 0, Count = 0;
    Text.WidthOf('a'); // measure first
    const long Before = Allocations;
    EXPECT_FALSE(Text.GetNextLine(Pos, Width, Count));
    // The places long lines are kept in, once, and the line's marks (400 of them for 100 MB),
    // grown by doubling.
    EXPECT_LE(Allocations - Before, 1 + 10);
    EXPECT_EQ(Count, Size);
    EXPECT_EQ(Width, Size * 8); // beyond 2^31 pixels
    EXPECT_EQ(Pos, Size);
    // One read per window: the windows move on by three quarters of the buffer.
    EXPECT_LE(Source_->Reads, Size / 3072 + 2);

    EXPECT_EQ(Text.GetDistanceBetween(0, Size), Size * 8);
    Pos = 0;
    EXPECT_TRUE(Text.GetCharAt(Pos, (Size - 10) * 8, Width));
    EXPECT_EQ(Pos, Size - 10);
}

TEST_F(HugeLineTest, WrappedIntoLinesAtWordBreaks) {
    Text.SetMaxWidth(800); // 100 characters: twelve words and a half
    std::int64_t Pos = 0, Width = 0, Count = 0, Lines = 0;
    while (Text.GetNextLine(Pos, Width, Count)) {
        ++Lines;
        ASSERT_EQ(Count, 96) << "line " << Lines; // twelve words with their spaces
    }
    EXPECT_EQ(Pos, Size);
    EXPECT_EQ(Lines, (Size - 1) / 96);
}

TEST_F(HugeLineTest, SearchedThrough) {
    std::int64_t Pos = 0;
    const long Before = Allocations;
    EXPECT_TRUE(Text.Search(Pos, Needle, TFindOptions{frDown, frMatchCase}));
    EXPECT_LT(Allocations - Before, 10); // the carry area only
    EXPECT_EQ(Pos, Size - static_cast<std::int64_t>(Needle.size()));
    Pos = Size - 1;
    EXPECT_FALSE(Text.Search(Pos, "gabc", TFindOptions{frWholeWord}));
    EXPECT_EQ(Pos, -1);
}

} // namespace
} // namespace kestrel
