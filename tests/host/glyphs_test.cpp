// The headless bitmap font: every printable byte has a shape, and text drawn with it is legible.
#include "host/headless/glyphs.h"

#include <gtest/gtest.h>

namespace kestrel::headless {
namespace {

TEST(GlyphsTest, PrintableAsciiMarksAndAccentedLettersHaveShapes) {
    for (int B = 33; B <= 126; ++B) {
        const TGlyphRows* Rows = GlyphOf(static_cast<unsigned char>(B));
        ASSERT_NE(Rows, nullptr) << B;
        int Ink = 0;
        for (auto Row : *Rows)
            Ink += Row != 0;
        EXPECT_GT(Ink, 0) << "byte " << B << " draws nothing";
    }
    for (unsigned char Mark : {0xA4, 0xB6, 0xE9, 0xC4})
        EXPECT_NE(GlyphOf(Mark), nullptr) << int(Mark);
    EXPECT_EQ(*GlyphOf(0xE9), *GlyphOf('e')); // drawn as its base letter
    EXPECT_EQ(GlyphOf(0x01), nullptr);        // drawn as a box
    EXPECT_NE(*GlyphOf('O'), *GlyphOf('0'));
}

} // namespace
} // namespace kestrel::headless
