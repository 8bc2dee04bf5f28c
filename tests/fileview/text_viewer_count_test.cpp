// The text viewer's background count: the work it takes over long paragraphs at any wrap width,
// and the bytes an idle step may take.
#include "text_viewer_fixture.h"
#include "textbuff/byte_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kestrel {
namespace {

using test::TextViewerFixture;

class TextViewerCountTest : public TextViewerFixture {};

// Prose of Size bytes without a line break.
std::string Paragraph(std::size_t Size) {
    std::string Text;
    while (Text.size() < Size)
        Text += "lorem ipsum-dolor\tsit amet ";
    Text.resize(Size);
    return Text;
}

// The count of a long paragraph classifies a few blocks of 64 bytes for every block of the text
// and every display line, however narrow the lines: it never looks far ahead of the line it
// counts.
TEST_F(TextViewerCountTest, CountingALongParagraphTakesWorkInProportionToItsBytes) {
#ifdef NDEBUG
    GTEST_SKIP() << "the scans count their work in builds without NDEBUG only";
#endif
    const std::string Text = Paragraph(200000) + "\nend\n";
    V->Stream()->SetBufSize(0xFFFF); // the widest window: the most a scan could overreach
    for (const std::int64_t Chars : {1, 3, 40}) {
        V->SetMaxLineLength(Chars);
        V->SetWrapMode(opAbsoluteWrap);
        SetText(Text);
        const std::int64_t From = bytescan::BlocksWalked();
        ASSERT_TRUE(V->CompleteCount());
        const std::int64_t Lines = V->GetLastLine() + 1;
        EXPECT_GT(Lines, std::ssize(Text) / (Chars + 8)) << Chars;
        EXPECT_LE(bytescan::BlocksWalked() - From, 2 * (std::ssize(Text) / 64 + Lines) + 1000)
            << Chars << " characters a line";
    }
}

// A step stops once it has taken about CountStepBytes bytes, inside a line too: over long lines
// it takes a few of them, a line of several budgets takes several steps, and the count still
// ends with every line numbered.
TEST_F(TextViewerCountTest, AnIdleStepTakesAboutCountStepBytes) {
    constexpr std::int64_t Long = CountStepBytes / 3 + 1000;
    std::string Text(200, '\n'); // the long lines below the window: measured by the count only
    for (int I = 0; I < 16; ++I)
        Text += std::string(static_cast<std::size_t>(I == 5 ? 5 * CountStepBytes : Long), 'a' + I) +
                "\n";
    for (const TWrapModes Mode : {opNone, opWrapScreenWidth}) {
        V->SetWrapMode(Mode);
        SetText(Text);
        std::int64_t Steps = 0;
        std::int64_t Most = 0;
        while (!V->GetCountComplete()) {
            const std::int64_t Work = bytescan::BlocksWalked();
            bool Done = false;
            V->HandleOnIdle(nullptr, Done);
            ASSERT_FALSE(Done) << "every step gets somewhere";
            Most = std::max(Most, bytescan::BlocksWalked() - Work);
            ASSERT_LT(++Steps, 100000);
        }
#ifndef NDEBUG
        // (The scans count their work in builds without NDEBUG only.)
        EXPECT_LE(Most, 2 * (CountStepBytes + Long) / 64) << Mode;
#endif
        EXPECT_GT(Steps, 9) << Mode;
        if (Mode == opNone) {
            EXPECT_EQ(V->GetLastLine(), 216);
        }
        EXPECT_EQ(V->GetScanOffset(), std::ssize(Text));
    }
}

} // namespace
} // namespace kestrel
