// The key manager and the viewer's default key table, driven by key-down and char messages.
#include "test_viewer.h"

namespace kestrel::test {
namespace {

// A manager whose commands write their name into a log.
struct LoggedKeys {
    TKeyManager Keys;
    std::vector<std::string> Log;
    TKeyEventHandler Command(const std::string& Name) {
        return [this, Name] { Log.push_back(Name); };
    }
};

TEST(KeyManagerTest, EntriesStayOrderedAndOneKeyHasOneCommand) {
    LoggedKeys K;
    for (TKeyDefinition Key : {0x0251, 0x0025, 0x0143, 0x0025, 0x0808})
        K.Keys.SetKeyCode(Key, K.Command(std::to_string(Key)));
    ASSERT_EQ(K.Keys.GetCount(), 4);
    for (std::int64_t I = 1; I < K.Keys.GetCount(); ++I)
        EXPECT_LT(K.Keys.GetEntry(I - 1).Key, K.Keys.GetEntry(I).Key);
    std::int64_t Index = -1;
    EXPECT_TRUE(K.Keys.Search(0x0143, Index));
    EXPECT_EQ(Index, 1);
    EXPECT_FALSE(K.Keys.Search(0x0200, Index));
    EXPECT_EQ(Index, 2) << "the insertion point";
    K.Keys.SetKeyCode(0x0143, nullptr);
    EXPECT_FALSE(K.Keys.Search(0x0143, Index)) << "an empty command unbinds";
}

TEST(KeyManagerTest, ShiftAndAltFallBackToThePlainCommandButCtrlAndPrefixDoNot) {
    LoggedKeys K;
    K.Keys.SetKeyCode(VK_LEFT, K.Command("left"));
    K.Keys.SetKeyCode(kdCtrl | VK_HOME, K.Command("ctrl-home"));
    EXPECT_TRUE(K.Keys.TranslateKey(VK_LEFT, {ssShift}));
    EXPECT_TRUE(K.Keys.TranslateKey(VK_LEFT, {ssAlt, ssShift}));
    EXPECT_TRUE(K.Keys.TranslateKey(VK_HOME, {ssCtrl, ssShift}));
    EXPECT_FALSE(K.Keys.TranslateKey(VK_LEFT, {ssCtrl}));
    EXPECT_FALSE(K.Keys.TranslateKey(VK_HOME, {}));
    EXPECT_EQ(K.Log, (std::vector<std::string>{"left", "left", "ctrl-home"}));
}

TEST(KeyManagerTest, TheQuickKeyPrefixesExactlyTheNextKey) {
    LoggedKeys K;
    K.Keys.SetQuickKey(kdCtrl | 'Q');
    K.Keys.SetKeyCode(kdQuick | 'D', K.Command("del-line-end"));
    K.Keys.SetKeyCode('D', K.Command("plain-d"));

    EXPECT_TRUE(K.Keys.TranslateKey('Q', {ssCtrl}));
    EXPECT_TRUE(K.Keys.GetQuickKeyPending());
    EXPECT_TRUE(K.Keys.TranslateKey('D', {}));
    EXPECT_FALSE(K.Keys.GetQuickKeyPending());

    K.Keys.TranslateKey('Q', {ssCtrl});
    EXPECT_FALSE(K.Keys.TranslateKey('D', {ssCtrl})) << "0x0544 is unbound, no fallback";
    K.Keys.TranslateKey('Q', {ssCtrl});
    EXPECT_TRUE(K.Keys.TranslateKey('D', {ssShift})) << "quick + Shift + D falls back";
    K.Keys.TranslateKey('Q', {ssCtrl});
    EXPECT_FALSE(K.Keys.TranslateKey(VK_SHIFT, {ssShift})) << "a lone modifier takes the prefix";
    EXPECT_TRUE(K.Keys.TranslateKey('D', {}));
    EXPECT_EQ(K.Log, (std::vector<std::string>{"del-line-end", "del-line-end", "plain-d"}));

    K.Keys.SetQuickKey(kdCtrl | 'K');
    EXPECT_FALSE(K.Keys.TranslateKey('Q', {ssCtrl})) << "the old prefix is unbound";
    EXPECT_TRUE(K.Keys.TranslateKey('K', {ssCtrl}));
}

class KeyTableTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        V->SetLines(NumberedLines(60));
        Pump();
    }
};

TEST_F(KeyTableTest, DefaultsAreTheDocumentedValues) {
    const std::vector<TKeyDefinition> Expected = {301, 27, 323, 37, 39,  293, 295, 36, 35,
                                                  38,  40, 33,  34, 292, 291, 294, 296};
    for (int I = 0; I < kiViewerKeyCount; ++I)
        EXPECT_EQ(V->GetKeyDef(I), Expected[static_cast<std::size_t>(I)]) << I;
    EXPECT_EQ(V->GetQuickKey(), 337);
    EXPECT_EQ(V->GetWordRightkey(), 295);
    EXPECT_EQ(V->GetScrollDownKey(), 296);
    EXPECT_EQ(V->GetKeyManager()->GetCount(), 18) << "17 keys and the prefix";
    EXPECT_TRUE(V->GetWantTabs());
}

TEST_F(KeyTableTest, EveryDefaultKeyRunsItsCommand) {
    struct Case {
        int Index;
        TLongPoint From;
        TLongPoint To;
    };
    // Line 20 is "line 20......" (13 characters); the window shows 14 lines.
    const std::vector<Case> Moves = {
        {kiLeftArrowKey, {5, 20}, {4, 20}}, {kiRightArrowKey, {5, 20}, {6, 20}},
        {kiWordLeftKey, {7, 20}, {5, 20}},  {kiWordRightkey, {0, 20}, {5, 20}},
        {kiLineStartKey, {5, 20}, {0, 20}}, {kiLineEndKey, {5, 20}, {13, 20}},
        {kiLineUpKey, {5, 20}, {5, 19}},    {kiLineDownKey, {5, 20}, {5, 21}},
        {kiPageUpKey, {5, 20}, {5, 7}},     {kiPageDownKey, {5, 20}, {5, 33}},
        {kiTextStartKey, {5, 20}, {0, 0}},  {kiTextEndKey, {5, 20}, {10, 59}},
    };
    for (const Case& C : Moves) {
        V->SetLineNumber(C.From.Y);
        V->SetCharNumber(C.From.X);
        const TKeyDefinition K = V->GetKeyDef(C.Index);
        TShiftState Shift;
        if (K & kdCtrl)
            Shift.Include(ssCtrl);
        Key(K & 0xFF, Shift);
        EXPECT_EQ(Caret(), C.To) << "key definition " << C.Index;
    }

    V->SetLineNumber(30);
    const std::int64_t Top = V->GetTopLine();
    Key(VK_DOWN, {ssCtrl});
    EXPECT_EQ(V->GetTopLine(), Top + 1) << "ScrollDownKey";
    Key(VK_UP, {ssCtrl});
    EXPECT_EQ(V->GetTopLine(), Top) << "ScrollUpKey";

    Key('C', {ssCtrl});
    Key(VK_INSERT, {ssCtrl});
    EXPECT_EQ(V->CopyCount, 2) << "CopyKey and AltCopyKey";

    Key(VK_RIGHT, {ssShift});
    ASSERT_NE(V->GetSelMode(), smNone);
    Key(VK_ESCAPE);
    EXPECT_EQ(V->GetSelMode(), smNone) << "CancelKey";
}

TEST_F(KeyTableTest, HandledKeysSwallowTheirCharactersOthersReachKeyPress) {
    std::string Typed;
    std::vector<std::uint16_t> KeyDowns;
    V->SetOnKeyPress([&](TObject*, char& C) { Typed += C; });
    V->SetOnKeyDown([&](TObject*, std::uint16_t& K, TShiftState) { KeyDowns.push_back(K); });
    Key('C', {ssCtrl}); // copy; its character 3 is swallowed
    Key(VK_ESCAPE);     // cancel; its character 27 is swallowed
    Key('A');           // unbound in a viewer
    Key(VK_SPACE);
    EXPECT_EQ(Typed, "a ");
    EXPECT_EQ(KeyDowns, (std::vector<std::uint16_t>{'C', VK_ESCAPE, 'A', VK_SPACE}))
        << "the application sees every key-down first";
}

TEST_F(KeyTableTest, RebindingTakesTheKeyFromItsPreviousCommand) {
    V->SetLineNumber(10);
    V->SetLineUpKey(kdCtrl | 'C'); // CopyKey's key
    Key('C', {ssCtrl});
    EXPECT_EQ(V->GetLineNumber(), 9);
    EXPECT_EQ(V->CopyCount, 0);
    Key(VK_UP);
    EXPECT_EQ(V->GetLineNumber(), 9) << "Up lost its command";

    V->SetLineUpKey(VK_UP);
    Key('C', {ssCtrl});
    EXPECT_EQ(V->CopyCount, 0) << "Ctrl+C stays unbound until CopyKey is set again";
    V->SetCopyKey(kdCtrl | 'C');
    Key('C', {ssCtrl});
    EXPECT_EQ(V->CopyCount, 1);

    V->SetLineDownKey(0);
    Key(VK_DOWN);
    EXPECT_EQ(V->GetLineNumber(), 9) << "a definition of 0 leaves the command without a key";
}

TEST_F(KeyTableTest, QuickKeyWiringAndUndefinedHandlers) {
    V->SetLineEndKey(kdQuick | 'D');
    V->SetLineNumber(20);
    Key('Q', {ssCtrl});
    Key('D');
    EXPECT_EQ(V->GetCharNumber(), 13);
    V->SetCharNumber(0);
    Key('Q', {ssCtrl});
    Key('D', {ssCtrl});
    EXPECT_EQ(V->GetCharNumber(), 0);
    Key('Q', {ssCtrl});
    Key('D', {ssShift});
    EXPECT_EQ(V->GetCharNumber(), 13);

    V->SetKeyDef(40, VK_F1); // an index no class in the chain answers
    try {
        Key(VK_F1);
        ADD_FAILURE() << "no exception";
    } catch (const EInternalError& E) {
        EXPECT_STREQ(E.what(), "Undefined key handler");
    }
    Platform.Input().SetShiftState({});
}

TEST_F(KeyTableTest, NavigationKeysAreWantedAndTabOnlyWithWantTabs) {
    EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
    EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 1);
    V->SetWantTabs(false);
    EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 0);
    EXPECT_EQ(V->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 1);
    EXPECT_EQ(V->Perform(WM_GETDLGCODE, 0, 0) & (DLGC_WANTARROWS | DLGC_WANTALLKEYS),
              DLGC_WANTARROWS | DLGC_WANTALLKEYS);
}

} // namespace
} // namespace kestrel::test
