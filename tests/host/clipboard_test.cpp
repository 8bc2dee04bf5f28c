// The clipboard on the headless platform: ownership of the open clipboard and of the blocks put
// on it, formats, TClipboard's nesting and text, and the clipboard-viewer chain.
#include "host/clipboard.h"
#include "host/controls.h"
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

} // namespace
} // namespace kestrel
