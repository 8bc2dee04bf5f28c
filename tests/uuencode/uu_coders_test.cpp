// The coders' edge cases: checksums, line layout, the decoder's states and errors, and the
// decoder's care with names and existing files.
#include "uu_test_util.h"

#include "host/sysutils.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrel {
namespace {

using test::Decode;
using test::Encode;

// The lines of a text written with CR LF.
std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> Result;
    for (std::size_t I = 0; I < Text.size();) {
        const std::size_t End = Text.find("\r\n", I);
        Result.push_back(Text.substr(I, End - I));
        I = End + 2;
    }
    return Result;
}

std::string Join(const std::vector<std::string>& Lines, const char* Break = "\r\n") {
    std::string Result;
    for (const std::string& L : Lines)
        Result += L + Break;
    return Result;
}

std::string SumOf(const std::vector<std::string>& Lines) {
    std::string Bytes;
    for (const std::string& L : Lines)
        Bytes += L + "\n";
    return std::to_string(test::ReferenceSum(Bytes)) + "/" + std::to_string(Bytes.size());
}

TEST(SumCheckTest, BytesAndLinesAsTheSumCommandCountsThem) {
    TSumCheck Sum;
    Sum.AddBuffer("abc", 3);
    EXPECT_EQ(Sum.GetSum(), "16556/3");
    Sum.Clear();
    Sum.AddLine("abc");
    EXPECT_EQ(Sum.GetSum(), "8288/4");
    Sum.AddLine("");
    EXPECT_EQ(Sum.GetSum(), "8288/4");
    // Eight 1s and 255 bring the sum to 65535, whose rotation plus a byte passes INT_MAX.
    Sum.Clear();
    Sum.AddBuffer("\1\1\1\1\1\1\1\1\xff", 9);
    EXPECT_EQ(Sum.GetSumValue(), 65535);
    Sum.AddBuffer("3", 1);
    EXPECT_EQ(Sum.GetSum(), "50/10");
}

TEST(UUEncoderTest, LineLayoutAndTheWholeTextOfASmallFile) {
    test::TTempDir Dir;
    const auto LinesOf = [&](const std::string& Bytes) {
        test::WriteFile(Dir.File("f"), Bytes);
        return Lines(Encode(Dir.File("f"), "f"));
    };
    // Section, begin, data..., grave accent, end, two sums.
    const auto L45 = LinesOf(std::string(45, 'x'));
    ASSERT_EQ(L45.size(), 7u);
    EXPECT_EQ(L45[2].size(), 61u);
    EXPECT_EQ(L45[2][0], 'M');
    const auto L46 = LinesOf(std::string(46, 'x'));
    ASSERT_EQ(L46.size(), 8u);
    EXPECT_EQ(L46[3].size(), 5u);
    EXPECT_EQ(L46[3][0], '!');
    EXPECT_EQ(LinesOf(std::string(3, '\0'))[2], "#````");
    const std::uint8_t Data[50] = {0, 0, 0, 'x'};
    std::string Line;
    std::uint16_t Index = 0;
    TUUEncoder::EncodeLine(EncodeAlphabet.data(), Data, Line, 3, Index);
    EXPECT_EQ(Line, "#````");
    EXPECT_EQ(Index, 3);
    TUUEncoder::EncodeLine(EncodeAlphabet.data(), Data, Line, 50, Index); // 45 of the 47 left
    EXPECT_EQ(Line.substr(0, 5), "M>```");
    EXPECT_EQ(Index, 48);

    test::WriteFile(Dir.File("one.bin"), "A");
    const std::string Text = Encode(Dir.File("one.bin"), "/some/folder/one.bin");
    const std::vector<std::string> Section = {"begin 644 one.bin", "!00``", "`", "end"};
    std::vector<std::string> Expected = {"Section 1 of one.bin"};
    Expected.insert(Expected.end(), Section.begin(), Section.end());
    Expected.push_back("sum -r/size " + SumOf(Section) + " section (from \"begin\" to \"end\")");
    Expected.push_back("sum -r/size " + std::to_string(test::ReferenceSum("A")) +
                       "/1 entire input file");
    EXPECT_EQ(Text, Join(Expected));
}

TEST(UUEncoderTest, AnEmptyFileAndAContainerThatCannotBeEdited) {
    test::TTempDir Dir;
    test::WriteFile(Dir.File("empty"), "");
    const auto L = Lines(Encode(Dir.File("empty"), "empty"));
    ASSERT_EQ(L.size(), 6u);
    EXPECT_EQ(L[2], "`");
    EXPECT_EQ(L[5], "sum -r/size 0/0 entire input file");
    test::TTempDir Out;
    const auto Ends = Decode(Join(L), Out.Path());
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].State, udFileChecked);
    EXPECT_EQ(Ends[0].Error, uuNoError);
    EXPECT_EQ(test::ReadFile(Out.File("empty")), "");

    // Refused before the file is opened: a missing file does not get as far as its open error.
    TTextStream ReadOnly(nullptr);
    TUUEncoder Encoder(nullptr);
    bool Cancelled = false;
    try {
        Encoder.UUEncodeFile(Dir.File("missing"), "m", &ReadOnly, 0, Cancelled);
        FAIL() << "no exception";
    } catch (const TUUException& E) {
        EXPECT_STREQ(E.what(), "TextBuffer is not editable");
    }
    EXPECT_EQ(Encoder.GetTextBuffer(), nullptr);
}

// A file of 100 bytes encoded, its lines, and the decoder's verdicts on changed copies.
class UUDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int I = 0; I < 100; ++I)
            Bytes += static_cast<char>(I * 7 + 3);
        test::WriteFile(In.File("data.bin"), Bytes);
        Text = Lines(Encode(In.File("data.bin"), "data.bin"));
        ASSERT_EQ(Text.size(), 9u); // Section, begin, 3 data, `, end, 2 sums
    }
    std::vector<test::TDecoded> Run(const std::string& S) { return Decode(S, Out.Path()); }

    test::TTempDir In, Out;
    std::string Bytes;
    std::vector<std::string> Text;
};

TEST_F(UUDecoderTest, TextAroundIsSkippedAndLineEndsMayBeMixed) {
    const std::string Mail =
        "From: someone\r\nSubject: a file\n\nSee below.\n" + Join(Text, "\n") + "-- \nsignature\n";
    // CR LF on one data line only, and no line break after the last checksum line.
    const std::string Mixed = "Hi\n" + Join({Text.begin(), Text.begin() + 3}, "\n") + Text[3] +
                              "\r\n" + Join({Text.begin() + 4, Text.end() - 1}, "\n") + Text.back();
    for (const std::string& S : {Mail, Mixed}) {
        const auto Ends = Run(S);
        ASSERT_EQ(Ends.size(), 1u);
        EXPECT_EQ(Ends[0].State, udFileChecked);
        EXPECT_EQ(Ends[0].Error, uuNoError);
        EXPECT_EQ(Ends[0].FileName, Out.File("data.bin"));
        EXPECT_EQ(test::ReadFile(Out.File("data.bin")), Bytes);
        DeleteFile(Out.File("data.bin"));
    }
}

TEST_F(UUDecoderTest, ChecksumMismatchesAndShortLines) {
    const auto Verdict = [&](const std::vector<std::string>& Lines) {
        const auto Ends = Run(Join(Lines));
        EXPECT_EQ(Ends.size(), 1u);
        DeleteFile(Out.File("data.bin"));
        return Ends.empty() ? std::make_pair(udInit, uuNoError)
                            : std::make_pair(Ends[0].State, Ends[0].Error);
    };
    auto Changed = Text;
    Changed[7] = "sum -r/size 1/100 section (from \"begin\" to \"end\")";
    EXPECT_EQ(Verdict(Changed), std::make_pair(udFileChecked, uuSectionSumCheck));
    Changed = Text;
    Changed[8] = "sum -r/size 1/100 entire input file";
    EXPECT_EQ(Verdict(Changed), std::make_pair(udFileChecked, uuFileSumCheck));
    // A changed data byte fails both sums; the file's is reported, being the last.
    Changed = Text;
    Changed[3][5] = Changed[3][5] == 'A' ? 'B' : 'A';
    EXPECT_EQ(Verdict(Changed), std::make_pair(udFileChecked, uuFileSumCheck));

    // A data line one character short is no data line: a section break, its bytes lost.
    Changed = Text;
    Changed[3].pop_back();
    Run(Join(Changed));
    EXPECT_EQ(test::ReadFile(Out.File("data.bin")), Bytes.substr(0, 45) + Bytes.substr(90));

    TUUDecoder Decoder(nullptr);
    Decoder.SetDirectory(Out.Path());
    EXPECT_EQ(Decoder.StartDecode("begin 64x name"), udInit);
    EXPECT_EQ(Decoder.StartDecode("begin 644 fresh"), udDecoding);
    EXPECT_EQ(Decoder.DecodeNextLine(Changed[3]), udSectionBreak);
    EXPECT_EQ(Decoder.DecodeNextLine(""), udSectionBreak);
    EXPECT_EQ(Decoder.DecodeNextLine(Text[3]), udDecoding);
    std::uint8_t Buf[45];
    std::uint16_t Index = 0;
    EXPECT_EQ(TUUDecoder::DecodeLine(DecodeTable.data(), "", Buf, 45, Index), uuLineError);
    EXPECT_EQ(TUUDecoder::DecodeLine(DecodeTable.data(), "\x7f", Buf, 45, Index), uuBadCharacter);
    EXPECT_EQ(TUUDecoder::DecodeLine(DecodeTable.data(), Text[2], Buf, 44, Index), uuNoSpace);
    EXPECT_EQ(TUUDecoder::DecodeLine(DecodeTable.data(), "`", Buf, 45, Index), uuNoError);
    EXPECT_EQ(Index, 0);
}

TEST_F(UUDecoderTest, NamesFromTheTextStayInTheFolder) {
    const std::string Body = Join({Text.begin() + 2, Text.end()});
    const auto As = [&](const std::string& Name) { return "begin 644 " + Name + "\r\n" + Body; };
    // Only the last path component counts; names with nothing usable, or longer than a file
    // system takes, are no begin lines. A name at the limit still has room for its temporary.
    const std::string Long(TUUDecoder::MaxNameLength, 'L');
    const auto Ends = Run(As("../../escape.bin") + As("/abs/path.bin") + As("dir\\win.bin") +
                          As("..") + As("a/") + As("\x01x") + As(Long) + As(Long + "x"));
    ASSERT_EQ(Ends.size(), 4u);
    std::vector<std::string> Files = test::FilesIn(Out.Path());
    std::sort(Files.begin(), Files.end());
    EXPECT_EQ(Files, (std::vector<std::string>{Long, "escape.bin", "path.bin", "win.bin"}));
    EXPECT_EQ(test::FilesIn(In.Path()), std::vector<std::string>{"data.bin"});
    EXPECT_EQ(TUUDecoder::SafeFileName("x y"), "x y");
    EXPECT_EQ(TUUDecoder::SafeFileName("."), "");
    EXPECT_EQ(TUUDecoder::SafeFileName(std::string(256, 'n')), "");
}

TEST_F(UUDecoderTest, ExistingFilesAreReplacedOnlyWhenApproved) {
    test::WriteFile(Out.File("data.bin"), "precious");
    auto Ends = Run(Join(Text));
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].State, udInit);
    EXPECT_EQ(Ends[0].Error, uuUserError);
    EXPECT_EQ(test::ReadFile(Out.File("data.bin")), "precious");

    TUUDecoder Decoder(nullptr);
    std::string Seen;
    Decoder.SetOnStartDecode([&](TUUDecoder*, std::string& Name, bool&) { Seen = Name; });
    Ends = Decode(Decoder, Join(Text), Out.Path());
    EXPECT_EQ(Seen, "data.bin");
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].State, udFileChecked);
    EXPECT_EQ(test::ReadFile(Out.File("data.bin")), Bytes);

    // A handler may rename or refuse.
    Decoder.SetOnStartDecode([&](TUUDecoder*, std::string& Name, bool& Cancel) {
        Cancel = Name == "skip.bin";
        Name = "renamed-" + Name;
    });
    Text[1] = "begin 644 skip.bin";
    Ends = Decode(Decoder, Join(Text), Out.Path());
    EXPECT_TRUE(Ends.empty());
    Text[1] = "begin 644 other.bin";
    Ends = Decode(Decoder, Join(Text), Out.Path());
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(test::ReadFile(Out.File("renamed-other.bin")), Bytes);
    EXPECT_EQ(test::FilesIn(Out.Path()).size(), 2u); // no temporary file left
}

TEST_F(UUDecoderTest, CancellingRemovesOnlyTheUnfinishedFile) {
    test::WriteFile(Out.File("kept.bin"), "precious");
    auto First = Text;
    First[1] = "begin 644 first.bin";
    auto Second = Text;
    Second[1] = "begin 644 kept.bin";
    auto Third = Text;
    Third[1] = "begin 644 third.bin";
    TUUDecoder Decoder(nullptr);
    Decoder.SetOnStartDecode(
        [](TUUDecoder*, std::string& Name, bool& Cancel) { Cancel = Name == "kept.bin"; });
    // Cancelled after the first data line of the third file.
    int Lines = 0;
    Decoder.SetOnBlockDecode([&](TUUBase*, std::int64_t, bool& Cancel) { Cancel = ++Lines == 21; });
    const auto Ends = Decode(Decoder, Join(First) + Join(Second) + Join(Third), Out.Path());
    ASSERT_EQ(Ends.size(), 2u);
    EXPECT_EQ(Ends[0].State, udFileChecked);
    EXPECT_EQ(Ends[1].State, uuCancelled);
    EXPECT_EQ(Ends[1].FileName, Out.File("third.bin"));
    std::vector<std::string> Files = test::FilesIn(Out.Path());
    std::sort(Files.begin(), Files.end());
    EXPECT_EQ(Files, (std::vector<std::string>{"first.bin", "kept.bin"}));
    EXPECT_EQ(test::ReadFile(Out.File("kept.bin")), "precious");
    EXPECT_EQ(Decoder.GetState(), uuCancelled);
}

TEST_F(UUDecoderTest, ABeginWithoutEndAndSectionsOutOfOrder) {
    // The partial file stays, marked by its state.
    auto Ends = Run(Join({Text.begin(), Text.begin() + 4}));
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].State, udDecoding);
    EXPECT_EQ(test::ReadFile(Out.File("data.bin")), Bytes.substr(0, 90));
    DeleteFile(Out.File("data.bin"));

    test::TTempDir Dir;
    std::string Big;
    for (int I = 0; I < 1000; ++I)
        Big += static_cast<char>(I * 31 % 251);
    test::WriteFile(Dir.File("big"), Big);
    const std::string Encoded = Encode(Dir.File("big"), "big", 3);
    // Section 2 moved before section 1.
    const std::size_t S2 = Encoded.find("Section 2");
    const std::size_t S3 = Encoded.find("Section 3");
    ASSERT_NE(S3, std::string::npos);
    Ends = Run(Encoded.substr(S2, S3 - S2) + Encoded.substr(0, S2) + Encoded.substr(S3));
    // Section 2 is skipped before the begin line; 1 and 3 check out alone, the file does not.
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].Error, uuFileSumCheck);
    EXPECT_EQ(test::FilesIn(Out.Path()), std::vector<std::string>{"big"});
}

} // namespace
} // namespace kestrel
