// The mail editor on the headless platform: quoting files and clipboard text, quote strings, a
// randomized re-flow of quoted paragraphs checked for words, prefixes, widths and one-step undo,
// uuencoding (empty files, cancels that keep earlier typing, compressors and hostile names) and
// decoding real mail into a folder that nothing escapes.
#include "host/application.h"
#include "host/clipboard.h"
#include "host/headless/headless_platform.h"
#include "host/process.h"
#include "host/scope_guard.h"
#include "host/sysutils.h"
#include "mailedit/mailedit.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace kestrel::test {
namespace {

std::vector<std::string> SplitLines(const std::string& S) {
    std::vector<std::string> Lines;
    std::string Line;
    for (const char C : S) {
        if (C == '\n') {
            if (!Line.empty() && Line.back() == '\r')
                Line.pop_back();
            Lines.push_back(Line);
            Line.clear();
        } else {
            Line += C;
        }
    }
    Lines.push_back(Line);
    return Lines;
}

std::vector<std::string> Words(const std::string& S) {
    std::vector<std::string> Result;
    std::istringstream In(S);
    for (std::string W; In >> W;)
        Result.push_back(W);
    return Result;
}

class MailEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        E->GetFont()->SetName("Courier New");
        E->SetBounds(10, 10, 400, 300);
        E->SetFocus();
        Application->ProcessMessages();
    }
    void TearDown() override {
        E.reset();
        Application->SetOnIdle(nullptr);
    }
    /// Edits a file holding Text, caret at the start.
    void Load(const std::string& Text) {
        WriteFile(Dir.File("mail.txt"), Text);
        E->SetFileName(Dir.File("mail.txt"));
    }
    std::string Text() { return E->GetBuffer()->GetString(0, E->GetTextSize()); }
    std::int64_t Caret() { return E->GetPosition(); }
    void Select(std::int64_t A, std::int64_t B) {
        E->SetSelection(E->OffsetToPoint(A), E->OffsetToPoint(B), smExtend);
    }
    std::int64_t CharWidth() { return E->GetBuffer()->WidthOf('x'); }

    headless::THeadlessPlatformScope Platform;
    TTempDir Dir;
    std::unique_ptr<TMailEditor> E = std::make_unique<TMailEditor>(nullptr);
};

TEST_F(MailEditorTest, QuotingFilesAndTheClipboard) {
    Load("first\r\nsecond\r\n");
    E->FocusAt(9, false);                 // inside "second": quotes go in at the start of its line
    WriteFile(Dir.File("q.txt"), "a\nb"); // LF ends, and a last line without one
    E->InsertQuoteFile(Dir.File("q.txt"));
    EXPECT_EQ(Text(), "first\r\n>a\r\n>b\r\nsecond\r\n");
    EXPECT_EQ(Caret(), 15);
    E->Undo(); // one step takes it back
    EXPECT_EQ(Text(), "first\r\nsecond\r\n");

    // An empty source inserts nothing; the caret goes to the start of its line.
    WriteFile(Dir.File("empty.txt"), "");
    E->FocusAt(10, false);
    E->InsertQuoteFile(Dir.File("empty.txt"));
    EXPECT_EQ(Text(), "first\r\nsecond\r\n");
    EXPECT_EQ(Caret(), 7);
    EXPECT_THROW(E->InsertQuoteFile(Dir.File("missing.txt")), EFOpenError);

    // A line longer than the width less the quote is broken into quoted lines that fit.
    E->SetMailQuote("> ");
    std::string Long;
    for (int I = 0; I < 40; ++I)
        Long += "word" + std::to_string(I) + " ";
    Clipboard()->SetAsText(Long);
    E->FocusAt(0, false);
    E->PasteQuoteFromClipboard();
    const std::vector<std::string> Lines = SplitLines(Text());
    std::string Joined;
    std::size_t Quoted = 0;
    for (const std::string& Line : Lines) {
        if (Line.rfind("> ", 0) != 0)
            break;
        ++Quoted;
        EXPECT_LE(static_cast<std::int64_t>(Line.find_last_not_of(' ') + 1) * CharWidth(),
                  E->GetBuffer()->GetMaxWidth())
            << Line;
        Joined += Line.substr(2);
    }
    EXPECT_GT(Quoted, 2u);
    EXPECT_EQ(Words(Joined), Words(Long));
    EXPECT_EQ(Lines[Quoted], "first");

    // No text on the clipboard: nothing; empty text: a beep.
    const std::string Before = Text();
    Clipboard()->Clear();
    E->PasteQuoteFromClipboard();
    Clipboard()->SetAsText("");
    Platform.Dialogs().ClearBeeps();
    E->PasteQuoteFromClipboard();
    EXPECT_EQ(Text(), Before);
    EXPECT_EQ(Platform.Dialogs().GetBeeps(), std::vector<std::uint32_t>{MB_ICONASTERISK});

    // Inserting a file as it is, converted from the OEM set on request.
    WriteFile(Dir.File("oem.txt"), "x\x81y");
    E->FocusAt(0, false);
    E->InsertFile(Dir.File("oem.txt"), true);
    EXPECT_EQ(Text().substr(0, 3), "x\xFCy");
    EXPECT_EQ(Caret(), 3);
}

TEST_F(MailEditorTest, QuoteStrings) {
    const std::vector<std::pair<std::string, std::string>> Cases = {
        {"Al> text", "Al>"}, {">> text", ">>"},  {"> > text", ">"}, {"\t> text", ""},
        {" > text", ""},     {"plain", "plain"}, {"@_x", "@_x"},    {"|: x", "|:"},
    };
    std::string Text;
    for (const auto& [Line, Quote] : Cases)
        Text += Line + "\r\n";
    Load(Text);
    std::int64_t Offset = 0;
    for (const auto& [Line, Quote] : Cases) {
        E->FocusAt(Offset + 1, false);
        EXPECT_EQ(E->GetQuoteString(), Quote) << Line;
        // A selection's start decides, wherever the caret is.
        Select(Offset, static_cast<std::int64_t>(Text.size()));
        EXPECT_EQ(E->GetQuoteString(), Quote) << Line;
        E->ResetSelection(ZeroPoint);
        Offset += static_cast<std::int64_t>(Line.size()) + 2;
    }
}

TEST_F(MailEditorTest, ReformatExamplesAndRefusals) {
    Load("> a\r\n> b");
    Select(0, 8);
    E->ReformatQuotedText(">", ">>");
    EXPECT_EQ(Text(), ">> a  b");
    EXPECT_EQ(E->GetSelectionSize(), 7);
    E->Undo();
    EXPECT_EQ(Text(), "> a\r\n> b");

    Load("> p1\r\n>\r\n> p2\r\n");
    E->ReformatQuotedText(">", ">>");
    EXPECT_EQ(Text(), ">> p1\r\n>>\r\n>> p2\r\n");

    EXPECT_THROW(E->ReformatQuotedText("", ">"), EUserError);
    // A new quote as wide as the window would leave each broken line only another quote.
    const std::string Wide(static_cast<std::size_t>(E->GetBuffer()->GetMaxWidth() / CharWidth()),
                           '>');
    try {
        E->ReformatQuotedText(">>", Wide);
        ADD_FAILURE() << "no EUserError";
    } catch (const EUserError& Error) {
        EXPECT_STREQ(Error.what(), "New Quote String leaves no room for text");
    }
    EXPECT_EQ(Text(), ">> p1\r\n>>\r\n>> p2\r\n");
}

// Random quoted mail (paragraphs of random words, long words among them, LF or CR LF, separator
// lines) re-flowed under random quotes: it ends, keeps every paragraph's words in order, starts
// every line with the new quote, fits the width where a line has room to break, and one Undo
// gives the text back.
TEST_F(MailEditorTest, RandomReflowsKeepWordsAndUndoInOneStep) {
    const char* SeedText = std::getenv("KESTREL_SEED");
    const unsigned Seed =
        SeedText ? static_cast<unsigned>(std::atoi(SeedText)) : std::random_device{}();
    SCOPED_TRACE("KESTREL_SEED=" + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    const std::int64_t Width = E->GetBuffer()->GetMaxWidth() / CharWidth();
    for (int Round = 0; Round < 40; ++Round) {
        SCOPED_TRACE("round " + std::to_string(Round));
        const std::string NewQuote =
            std::vector<std::string>{">>", "> ", "| ", "- ", ">"}[Rng() % 5];
        const std::string Eol = Rng() % 2 ? "\r\n" : "\n";
        std::vector<std::vector<std::string>> Paragraphs(1 + Rng() % 4);
        std::string Mail;
        for (std::size_t P = 0; P < Paragraphs.size(); ++P) {
            if (P > 0)
                Mail += ">" + Eol;
            const int Lines = 1 + static_cast<int>(Rng() % 5);
            for (int L = 0; L < Lines; ++L) {
                Mail += ">";
                const int Count = 1 + static_cast<int>(Rng() % 8);
                for (int W = 0; W < Count; ++W) {
                    const std::size_t Length = Rng() % 20 == 0 ? Width + 10 : 1 + Rng() % 9;
                    std::string Word(Length, static_cast<char>('a' + Rng() % 26));
                    Word[0] = static_cast<char>('A' + P);
                    Paragraphs[P].push_back(Word);
                    Mail += " " + Word;
                }
                Mail += Eol;
            }
        }
        Load(Mail);
        Select(0, static_cast<std::int64_t>(Mail.size()) - static_cast<std::int64_t>(Eol.size()));
        E->ReformatQuotedText(">", NewQuote);
        const std::vector<std::string> Lines = SplitLines(Text());
        // A word wider than a line is broken where the line ends: compared as characters.
        const auto Joined = [](const std::vector<std::vector<std::string>>& Ps) {
            std::vector<std::string> Result;
            for (const auto& P : Ps) {
                Result.emplace_back();
                for (const std::string& W : P)
                    Result.back() += W;
            }
            return Result;
        };
        std::vector<std::vector<std::string>> Got(1);
        for (std::size_t I = 0; I + 1 < Lines.size(); ++I) {
            const std::string& Line = Lines[I];
            ASSERT_EQ(Line.rfind(NewQuote, 0), 0u) << Text() << "\nfrom\n" << Mail;
            const std::string Body = Line.substr(NewQuote.size());
            if (Words(Body).empty()) {
                Got.emplace_back();
                continue;
            }
            for (const std::string& W : Words(Body))
                Got.back().push_back(W);
            const bool OneWord = Words(Body).size() == 1;
            if (!OneWord) {
                EXPECT_LE(static_cast<std::int64_t>(Line.find_last_not_of(' ') + 1), Width) << Line;
            }
        }
        EXPECT_EQ(Joined(Got), Joined(Paragraphs)) << Text() << "\nfrom\n" << Mail;
        E->Undo();
        EXPECT_EQ(Text(), Mail);
    }
}

TEST_F(MailEditorTest, EncodingEmptyFilesCancelsAndCompressors) {
    Load("head\r\n");
    WriteFile(Dir.File("empty.bin"), "");
    EXPECT_EQ(E->UUEncode(Dir.File("empty.bin"), "empty.bin"), erFileEmpty);
    EXPECT_EQ(E->UUEncode(Dir.File("missing.bin"), "missing.bin"), erFileEmpty);
    EXPECT_EQ(Text(), "head\r\n");

    // Typing just before the attachment stays when the encoding is cancelled.
    std::string Data(20000, '\0');
    std::mt19937 Rng(7);
    for (char& C : Data)
        C = static_cast<char>(Rng());
    WriteFile(Dir.File("data.bin"), Data);
    E->FocusAt(6, false);
    E->InsertString("typed\r\n");
    int Reports = 0;
    E->SetOnProgressEvent([&](TLinesViewer* Sender, std::int64_t Done, std::int64_t, bool& Cancel) {
        Cancel = Done > 0 && Sender->GetState().Contains(vsBusy) && ++Reports == 2;
    });
    EXPECT_EQ(E->UUEncode(Dir.File("data.bin"), "data.bin"), erUserInterrupt);
    EXPECT_EQ(Text(), "head\r\ntyped\r\n");
    E->SetOnProgressEvent(nullptr);

    // Encoded and decoded again through the editor, whatever its wrapping.
    EXPECT_EQ(E->UUEncode(Dir.File("data.bin"), "copy.bin"), erOK);
    EXPECT_EQ(Text().rfind("head\r\ntyped\r\nSection 1 of copy.bin\r\nbegin 644 copy.bin\r\n", 0),
              0u);
    E->SetWidth(120); // narrower than an encoded line
    const std::string Out = Dir.File("out");
    ::mkdir(Out.c_str(), 0777);
    E->SetDecodeDirectory(Out);
    E->UUDecode();
    EXPECT_EQ(ReadFile(Out + "/copy.bin"), Data);
    E->Undo();
    EXPECT_EQ(Text(), "head\r\ntyped\r\n");

    // Temporary archives in a folder of this test's own.
    const std::string Temp = Dir.File("tmp");
    ::mkdir(Temp.c_str(), 0777);
    const char* OldTmp = std::getenv("TMPDIR");
    const std::string SavedTmp = OldTmp != nullptr ? OldTmp : "";
    ::setenv("TMPDIR", Temp.c_str(), 1);
    const TScopeExit RestoreTmp([&] {
        if (OldTmp != nullptr)
            ::setenv("TMPDIR", SavedTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    });

    // A compressor command without both placeholders runs nothing.
    const std::string Marker = Dir.File("ran");
    EXPECT_EQ(E->InsertCompressedFile("touch " + Marker + " &Z", "gz", Dir.File("data.bin")),
              erCompressError);
    EXPECT_EQ(E->InsertCompressedFile("touch " + Marker + " &F", "gz", Dir.File("data.bin")),
              erCompressError);
    EXPECT_FALSE(FileExists(Marker));

    // A name the command interpreter would read is quoted, and never run as a command (which
    // would make "ran" in the current folder).
    const std::string Saved = GetCurrentDir();
    SetCurrentDir(Dir.Path());
    const TScopeExit Back([&Saved] { SetCurrentDir(Saved); });
    const std::string Hostile = Dir.File("a b;$(touch ran)'.dat");
    WriteFile(Hostile, "payload");
    EXPECT_EQ(E->InsertCompressedFile("cp &F &Z", "cpy", Hostile), erOK);
    EXPECT_FALSE(FileExists(Marker));
    EXPECT_NE(Text().find("begin 644 a b;$(touch ran)'.cpy\r\n"), std::string::npos);
    EXPECT_EQ(E->InsertCompressedFile("cp \"&F\" &Z", "cpy", Hostile), erCompressError);
    EXPECT_EQ(E->InsertCompressedFile("false &F &Z", "cpy", Hostile), erCompressError);
    EXPECT_FALSE(FileExists(Marker));
    EXPECT_EQ(GetTempPath().rfind(Temp, 0), 0u);
    EXPECT_TRUE(FilesIn(Temp).empty()); // the temporary archives are gone
}

// Mail as it arrives: noise and text around, LF and CR LF, short and random lines, names with
// paths, a begin without an end, sections out of order, files that already exist.
TEST_F(MailEditorTest, DecodingRealMailStaysInTheFolder) {
    const std::string Src = Dir.File("src");
    ::mkdir(Src.c_str(), 0777);
    WriteFile(Src + "/one", std::string(300, 'x') + "one");
    WriteFile(Src + "/two", "two\r\n");
    TMailEditor Encoder(nullptr);
    Encoder.SetBounds(0, 0, 600, 200);
    Encoder.UUEncode(Src + "/one", "../../one");
    Encoder.FocusAt(0, false);
    Encoder.UUEncode(Src + "/two", "/etc/two");
    std::string Encoded = Encoder.GetBuffer()->GetString(0, Encoder.GetTextSize());
    std::string Mail = "From: someone\r\n\r\nhello\r\nbegin 644 ../../up\r\nM\x01\x02\r\n";
    std::mt19937 Rng(11);
    for (int I = 0; I < 20; ++I) {
        std::string Noise(Rng() % 90, ' ');
        for (char& C : Noise)
            C = static_cast<char>(Rng() % 256 == 10 ? 'x' : Rng() % 256);
        std::replace(Noise.begin(), Noise.end(), '\n', 'y');
        Mail += Noise + "\r\n";
    }
    // The second file's lines end in LF alone; the first keeps CR LF.
    const std::size_t Split = Encoded.find("Section 1 of two");
    std::string Second = Encoded.substr(Split);
    Second.erase(std::remove(Second.begin(), Second.end(), '\r'), Second.end());
    Mail += Encoded.substr(0, Split) + "-- \r\nsignature\n" + Second + "begin 644 cut\n";
    Load(Mail);

    const std::string Out = Dir.File("out");
    ::mkdir(Out.c_str(), 0777);
    WriteFile(Out + "/two", "mine");
    E->SetDecodeDirectory(Out);
    std::vector<std::string> Ended;
    E->SetOnEndDecode([&](TUUDecoder*, TUdStates State, TUUErrors Error, const std::string& Name) {
        Ended.push_back(ExtractFileName(Name) + ":" + std::to_string(State) + ":" +
                        std::to_string(Error));
    });
    E->UUDecode();
    EXPECT_EQ(ReadFile(Out + "/one"), std::string(300, 'x') + "one");
    EXPECT_EQ(ReadFile(Out + "/two"), "mine"); // nothing approved replacing it
    std::vector<std::string> Files = FilesIn(Out);
    std::sort(Files.begin(), Files.end());
    // "up" and "cut" never got an end line: they stay as far as they got, in the folder.
    EXPECT_EQ(Files, (std::vector<std::string>{"cut", "one", "two", "up"}));
    EXPECT_TRUE(std::find(Ended.begin(), Ended.end(), "two:0:1") != Ended.end())
        << ::testing::PrintToString(Ended);
    EXPECT_EQ(Text(), Mail);                   // the text is not changed
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 3u); // mail.txt, src, out: nothing outside

    // An approving handler replaces it; a cancel part way removes only the unfinished file.
    E->SetOnStartDecode([](TUUDecoder*, std::string&, bool&) {});
    E->UUDecode();
    EXPECT_EQ(ReadFile(Out + "/two"), "two\r\n");
    DeleteFile(Out + "/one");
    E->SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t, bool& Cancel) {
        Cancel = Done > static_cast<std::int64_t>(Mail.find("begin 644 ../../one")) + 200;
    });
    E->UUDecode();
    Files = FilesIn(Out);
    std::sort(Files.begin(), Files.end());
    EXPECT_EQ(Files, (std::vector<std::string>{"cut", "two", "up"}));
    EXPECT_EQ(ReadFile(Out + "/two"), "two\r\n");
}

} // namespace
} // namespace kestrel::test
