// The clipboard on the headless platform: ownership of the open clipboard and of the blocks put
// on it, formats, TClipboard's nesting and text, the clipboard-viewer chain, and random
// sequences against a model of what the transport carries.
#include "host/clipboard.h"
#include "host/controls.h"
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

using headless::THeadlessPlatformScope;

// A block holding Text (no terminating zero unless Text has one).
HGLOBAL Block(const std::string& Text) {
    HGLOBAL H = GlobalAlloc(GHND, static_cast<std::int64_t>(Text.size()));
    const TGlobalLockGuard Lock(H);
    std::memcpy(Lock.Get(), Text.data(), Text.size());
    return H;
}

// A window that takes part in the clipboard-viewer chain as a well-behaved viewer does: it
// passes notifications on to the window after it and mends the chain when one leaves.
class TViewerWindow : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    HWND Next = 0;
    int Draws = 0;
    bool SawText = false;
    std::vector<std::pair<HWND, HWND>> ChainChanges;

    void Join() { Next = SetClipboardViewer(GetHandle()); }
    void Leave() { ChangeClipboardChain(GetHandle(), Next); }

protected:
    void WMDrawClipboard(TMessage& Message) override {
        ++Draws;
        SawText = IsClipboardFormatAvailable(CF_TEXT);
        if (Next != 0)
            SendMessage(Next, Message.Msg, Message.WParam, Message.LParam);
        Message.Result = 0;
    }
    void WMChangeCBChain(TMessage& Message) override {
        const auto Remove = static_cast<HWND>(Message.WParam);
        const auto After = static_cast<HWND>(Message.LParam);
        ChainChanges.emplace_back(Remove, After);
        if (Remove == Next)
            Next = After;
        else if (Next != 0)
            SendMessage(Next, Message.Msg, Message.WParam, Message.LParam);
        Message.Result = 0;
    }
};

TEST(ClipboardTest, OneOwnerAtATimeAndOpenNeededForData) {
    THeadlessPlatformScope Scope;
    auto& Host = ClipboardHost();
    TViewerWindow A(nullptr);
    TViewerWindow B(nullptr);
    A.HandleNeeded();
    B.HandleNeeded();

    // Nothing can be put or read while the clipboard is closed; the caller keeps its block.
    HGLOBAL H = Block("x");
    EXPECT_EQ(SetClipboardData(CF_TEXT, H), nullptr);
    EXPECT_FALSE(EmptyClipboard());
    EXPECT_FALSE(CloseClipboard());
    GlobalFree(H);

    ASSERT_TRUE(OpenClipboard(A.GetHandle()));
    EXPECT_TRUE(OpenClipboard(A.GetHandle())) << "the holder may open it again";
    EXPECT_FALSE(OpenClipboard(B.GetHandle()));
    EXPECT_FALSE(OpenClipboard(0));
    EXPECT_EQ(Host.GetOwner(), A.GetHandle());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(Host.IsOpen());
    EXPECT_TRUE(OpenClipboard(B.GetHandle()));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(OpenClipboard(0x7777)) << "not a window";
}

TEST(ClipboardTest, TakesOwnershipOfBlocksAndFreesThemOnReplaceAndEmpty) {
    THeadlessPlatformScope Scope;
    auto& P = Scope.Clipboard();
    const UINT Column = RegisterClipboardFormat("KESTREL_COLUMN_TEXT");
    ASSERT_TRUE(OpenClipboard(0));
    HGLOBAL First = Block(std::string("one\0", 4));
    HGLOBAL Second = Block(std::string("two\0", 4));
    HGLOBAL Col = Block(std::string("ab\r\n\0", 5));
    EXPECT_EQ(SetClipboardData(CF_TEXT, First), First);
    EXPECT_EQ(SetClipboardData(Column, Col), Col);
    // The same block under a second format would be freed twice: refused, still the caller's.
    EXPECT_EQ(SetClipboardData(CF_OEMTEXT, Col), nullptr);
    // Replacing a format frees the block that was there.
    EXPECT_EQ(SetClipboardData(CF_TEXT, Second), Second);
    EXPECT_EQ(GlobalSize(First), 0) << "the replaced block was freed";
    EXPECT_EQ(GetClipboardData(CF_TEXT), Second);
    EXPECT_EQ(GetClipboardData(CF_OEMTEXT), nullptr);
    EXPECT_EQ(EnumClipboardFormats(0), static_cast<UINT>(CF_TEXT));
    EXPECT_EQ(EnumClipboardFormats(CF_TEXT), Column);
    EXPECT_EQ(EnumClipboardFormats(Column), 0U);
    EXPECT_TRUE(CloseClipboard());

    // Readable by tests without opening; formats in the order they were put.
    EXPECT_EQ(P.GetClipboardBytes(Column), std::string("ab\r\n\0", 5));
    EXPECT_EQ(P.GetClipboardFormats(), (std::vector<UINT>{CF_TEXT, Column}));
    EXPECT_TRUE(IsClipboardFormatAvailable(Column));
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr) << "closed: no data handed out";

    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GlobalSize(Second), 0);
    EXPECT_EQ(GlobalSize(Col), 0);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

TEST(ClipboardTest, PlatformFreesWhatItHoldsWhenItGoes) {
    HGLOBAL H = nullptr;
    {
        THeadlessPlatformScope Scope;
        ASSERT_TRUE(OpenClipboard(0));
        H = Block("left behind");
        ASSERT_EQ(SetClipboardData(CF_TEXT, H), H);
        ASSERT_TRUE(CloseClipboard());
    }
    EXPECT_EQ(GlobalSize(H), 0); // no leak under the address sanitizer either
}

TEST(ClipboardTest, TClipboardNestsOpensAndEmptiesOncePerOpen) {
    THeadlessPlatformScope Scope;
    auto& P = Scope.Clipboard();
    auto& Host = ClipboardHost();
    const UINT Column = RegisterClipboardFormat("KESTREL_COLUMN_TEXT");
    TClipboard* C = Clipboard();
    C->SetAsText("old");
    C->SetBuffer(Column, "old column", 10);
    EXPECT_EQ(P.GetClipboardFormats(), (std::vector<UINT>{Column}))
        << "each put outside an open replaces the whole content";

    C->Open();
    C->Open();
    EXPECT_TRUE(Host.IsOpen());
    C->SetBuffer(Column, "col", 3);
    C->SetAsText("plain");
    C->Close();
    EXPECT_TRUE(Host.IsOpen()) << "inner close keeps it open";
    C->Close();
    EXPECT_FALSE(Host.IsOpen());
    EXPECT_EQ(P.GetClipboardFormats(), (std::vector<UINT>{Column, CF_TEXT}))
        << "two puts in one open stand together";
    EXPECT_EQ(C->GetAsText(), "plain");
    EXPECT_TRUE(C->HasFormat(Column));
    EXPECT_EQ(C->GetFormatCount(), 2);
    EXPECT_EQ(C->GetFormats(1), static_cast<UINT>(CF_TEXT));
    EXPECT_THROW(C->GetFormats(2), ERangeError);
    EXPECT_THROW(C->Close(), Exception);

    C->Clear();
    EXPECT_FALSE(C->HasFormat(CF_TEXT));
    EXPECT_EQ(C->GetAsText(), "");
}

TEST(ClipboardTest, TClipboardRefusesWhileAnotherOwnerHoldsIt) {
    THeadlessPlatformScope Scope;
    TViewerWindow A(nullptr);
    A.HandleNeeded();
    ASSERT_TRUE(OpenClipboard(A.GetHandle()));
    try {
        Clipboard()->SetAsText("x");
        FAIL() << "expected an exception";
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "Cannot open clipboard");
    }
    EXPECT_FALSE(Clipboard()->IsOpen());
    CloseClipboard();
}

TEST(ClipboardTest, TextStopsAtItsZeroAndNeverReadsPastTheBlock) {
    THeadlessPlatformScope Scope;
    // No terminating zero at all: the text is the whole block.
    ASSERT_TRUE(OpenClipboard(0));
    SetClipboardData(CF_TEXT, Block("abc"));
    CloseClipboard();
    EXPECT_EQ(Clipboard()->GetAsText(), "abc");
    Clipboard()->SetBuffer(CF_TEXT, "ab\0cd", 5);
    EXPECT_EQ(Clipboard()->GetAsText(), "ab");
    // A failed put leaves the block with the caller.
    Clipboard()->Open();
    HGLOBAL H = Block("x");
    EXPECT_THROW(Clipboard()->SetAsHandle(0, H), Exception);
    Clipboard()->Close();
    EXPECT_EQ(GlobalSize(H), 1);
    GlobalFree(H);
}

TEST(ClipboardTest, ViewerChainHearsEveryChangeOnceContentIsComplete) {
    THeadlessPlatformScope Scope;
    auto& Host = ClipboardHost();
    TViewerWindow First(nullptr);
    TViewerWindow Second(nullptr);
    TViewerWindow Third(nullptr);
    First.HandleNeeded();
    Second.HandleNeeded();
    Third.HandleNeeded();

    First.Join();
    EXPECT_EQ(First.Draws, 1) << "a new viewer is told at once";
    Second.Join();
    Third.Join();
    EXPECT_EQ(Third.Next, Second.GetHandle());
    EXPECT_EQ(Second.Next, First.GetHandle());
    EXPECT_EQ(Host.GetViewer(), Third.GetHandle());

    // Two formats in one open: one notification, after the close, with the text there.
    Clipboard()->Open();
    Clipboard()->SetAsText("hello");
    Clipboard()->SetBuffer(RegisterClipboardFormat("Other"), "x", 1);
    EXPECT_EQ(Third.Draws, 1);
    Clipboard()->Close();
    EXPECT_EQ(Third.Draws, 2);
    EXPECT_EQ(Second.Draws, 2);
    // The join notices reached only each joining window: it learns its next window from the
    // return value, after the notice.
    EXPECT_EQ(First.Draws, 2);
    EXPECT_TRUE(First.SawText);
    EXPECT_EQ(Host.GetChanges(), 1);

    // Opening and closing without a change tells nobody.
    ASSERT_TRUE(OpenClipboard(0));
    CloseClipboard();
    EXPECT_EQ(First.Draws, 2);

    // The middle viewer leaves: the head passes the news down to the window before it.
    Second.Leave();
    ASSERT_EQ(Third.ChainChanges.size(), 1U);
    EXPECT_EQ(Third.Next, First.GetHandle());
    Clipboard()->Clear();
    EXPECT_EQ(Second.Draws, 2) << "no longer in the chain";
    EXPECT_EQ(First.Draws, 3);
    EXPECT_FALSE(First.SawText);

    // The head leaves: the next window becomes the head, nobody needs telling.
    Third.Leave();
    EXPECT_EQ(Host.GetViewer(), First.GetHandle());
    EXPECT_EQ(First.ChainChanges.size(), 0U);
    First.Leave();
    EXPECT_EQ(Host.GetViewer(), 0U);
}

// What the clipboard holds, format by format in order, as the model sees it.
using TContent = std::vector<std::pair<UINT, std::string>>;

const std::string* BytesIn(const TContent& C, UINT Format) {
    for (const auto& [F, Bytes] : C)
        if (F == Format)
            return &Bytes;
    return nullptr;
}

std::vector<UINT> FormatsIn(const TContent& C) {
    std::vector<UINT> Out;
    for (const auto& Item : C)
        Out.push_back(Item.first);
    return Out;
}

std::string BlockBytes(HGLOBAL H) {
    const TGlobalLockGuard Lock(H);
    const auto* P = static_cast<const char*>(Lock.Get());
    return P == nullptr ? std::string("<freed>")
                        : std::string(P, static_cast<std::size_t>(GlobalSize(H)));
}

// Opens by two windows and the application, puts (with and without an empty first), reads,
// format queries and changes made by another program, against a model: each read gives the
// bytes of the content as it stands (a block read in an open keeps its bytes until that open
// changes the content or ends), each close after a change publishes the whole new content and
// tells the viewer once, and the transport ends up with what the model published.
TEST(ClipboardTest, RandomOperationsMatchAModel) {
    for (unsigned Seed = 1; Seed <= 40; ++Seed) {
        SCOPED_TRACE("seed " + std::to_string(Seed));
        std::mt19937 Rng(Seed);
        auto Pick = [&](int N) { return static_cast<int>(Rng() % static_cast<unsigned>(N)); };
        THeadlessPlatformScope Scope;
        auto& Transport = Scope.Clipboard();
        TViewerWindow A(nullptr);
        TViewerWindow B(nullptr);
        A.HandleNeeded();
        B.HandleNeeded();
        A.Join();
        const UINT Formats[] = {CF_TEXT, RegisterClipboardFormat("One"),
                                RegisterClipboardFormat("Two")};
        const HWND Owners[] = {0, A.GetHandle(), B.GetHandle()};
        auto RandomBytes = [&] {
            std::string S(static_cast<std::size_t>(Pick(6)), '\0');
            for (char& C : S)
                C = static_cast<char>(Pick(3) == 0 ? 0 : 'a' + Pick(26));
            return S;
        };

        TContent Published;
        bool Open = false;
        HWND Owner = 0;
        bool Changed = false;
        TContent Pending;                         // the new content while Changed
        bool ElsewhereWhileOpen = false;          // another program changed it during this open
        std::map<UINT, std::string> ReadThisOpen; // blocks handed out since the last change
        std::vector<std::pair<HGLOBAL, std::string>> Handed;
        int Changes = 0;
        auto Current = [&]() -> const TContent& { return Changed ? Pending : Published; };

        for (int Step = 0; Step < 400; ++Step) {
            SCOPED_TRACE("step " + std::to_string(Step));
            const UINT Format = Formats[Pick(3)];
            switch (Pick(11)) {
            case 0:
            case 1: { // open
                const HWND Who = Owners[Pick(3)];
                const bool Expected = !Open || Owner == Who;
                ASSERT_EQ(OpenClipboard(Who), Expected);
                if (!Open && Expected) {
                    Open = true;
                    Owner = Who;
                }
                break;
            }
            case 2:
            case 3: // close
                ASSERT_EQ(CloseClipboard(), Open);
                if (Open && Changed) {
                    Published = Pending;
                    ++Changes;
                }
                if (Open && (Changed || ElsewhereWhileOpen))
                    ReadThisOpen.clear();
                Open = Changed = ElsewhereWhileOpen = false;
                Handed.clear();
                break;
            case 4: // empty
                ASSERT_EQ(EmptyClipboard(), Open);
                if (Open) {
                    Changed = true;
                    Pending.clear();
                    ReadThisOpen.clear();
                    Handed.clear();
                }
                break;
            case 5: { // put
                const std::string Bytes = RandomBytes();
                HGLOBAL H = Block(Bytes);
                const HGLOBAL Result = SetClipboardData(Format, H);
                if (!Open) {
                    ASSERT_EQ(Result, nullptr);
                    GlobalFree(H);
                    break;
                }
                ASSERT_EQ(Result, H);
                if (!Changed) {
                    Pending = Published;
                    Changed = true;
                }
                const auto It = std::find_if(Pending.begin(), Pending.end(),
                                             [&](const auto& E) { return E.first == Format; });
                if (It != Pending.end())
                    It->second = Bytes;
                else
                    Pending.emplace_back(Format, Bytes);
                ReadThisOpen.clear();
                Handed.clear();
                break;
            }
            case 6:
            case 7:
            case 9: { // read
                const HGLOBAL H = GetClipboardData(Format);
                if (!Open) {
                    ASSERT_EQ(H, nullptr);
                    break;
                }
                const auto Kept = ReadThisOpen.find(Format);
                const std::string* Expected = !Changed && Kept != ReadThisOpen.end()
                                                  ? &Kept->second
                                                  : BytesIn(Current(), Format);
                if (Expected == nullptr) {
                    ASSERT_EQ(H, nullptr);
                    break;
                }
                ASSERT_NE(H, nullptr);
                ASSERT_EQ(BlockBytes(H), *Expected);
                if (!Changed)
                    ReadThisOpen.emplace(Format, *Expected);
                Handed.emplace_back(H, *Expected);
                break;
            }
            case 8: { // formats
                EXPECT_EQ(IsClipboardFormatAvailable(Format),
                          BytesIn(Current(), Format) != nullptr);
                std::vector<UINT> Listed;
                for (UINT F = EnumClipboardFormats(0); F != 0; F = EnumClipboardFormats(F))
                    Listed.push_back(F);
                EXPECT_EQ(Listed, Open ? FormatsIn(Current()) : std::vector<UINT>{});
                break;
            }
            case 10: { // another program
                TContent Theirs;
                std::vector<TClipboardItem> Items;
                for (const UINT F : Formats)
                    if (Pick(2) == 0) {
                        Theirs.emplace_back(F, RandomBytes());
                        Items.push_back(TClipboardItem{F, Theirs.back().second});
                    }
                Transport.ChangeElsewhere(std::move(Items));
                Published = Theirs;
                ++Changes;
                if (!Open)
                    ReadThisOpen.clear();
                else if (!Changed)
                    ElsewhereWhileOpen = true;
                break;
            }
            }
            // Blocks handed out in this open keep their bytes while the content stands.
            for (const auto& [H, Bytes] : Handed)
                ASSERT_EQ(BlockBytes(H), Bytes);
            ASSERT_EQ(ClipboardHost().GetChanges(), Changes);
            ASSERT_EQ(A.Draws, 1 + Changes) << "the viewer hears of every change once";
        }
        if (Open && CloseClipboard() && Changed)
            Published = Pending;
        EXPECT_EQ(Transport.GetClipboardFormats(), FormatsIn(Published));
        for (const auto& [F, Bytes] : Published)
            EXPECT_EQ(Transport.GetClipboardBytes(F), Bytes);
        A.Leave();
    }
}

} // namespace
} // namespace kestrel
