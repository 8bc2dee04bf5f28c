// TStrings and TStringList.
#include "host/exceptions.h"
#include "host/streams.h"
#include "host/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(StringListTest, EditsByIndexAndRefusesIndexesOutOfRange) {
    TStringList L;
    EXPECT_EQ(L.Add("b"), 0);
    L.Insert(0, "a");
    L.Insert(2, "c");
    L.SetStrings(1, "B");
    L.Delete(2);
    EXPECT_EQ(L.GetCount(), 2);
    EXPECT_EQ(L.GetStrings(0), "a");
    EXPECT_EQ(L.Get(1), "B");
    EXPECT_EQ(L.IndexOf("b"), 1);
    EXPECT_EQ(L.IndexOf("x"), -1);
    try {
        L.Get(2);
        FAIL() << "no exception";
    } catch (const EListError& E) {
        EXPECT_STREQ(E.what(), "List index out of bounds (2)");
    }
    EXPECT_THROW(L.Insert(3, "x"), EListError);
    EXPECT_THROW(L.Delete(-1), EListError);
    L.Clear();
    EXPECT_EQ(L.GetCount(), 0);
}

TEST(StringListTest, TextJoinsWithCrLfAndSplitsOnCrLfOrLf) {
    TStringList L;
    L.SetText("one\r\ntwo\nthree\r\n\nlast");
    ASSERT_EQ(L.GetCount(), 5);
    EXPECT_EQ(L.Get(2), "three");
    EXPECT_EQ(L.Get(3), "");
    EXPECT_EQ(L.GetText(), "one\r\ntwo\r\nthree\r\n\r\nlast\r\n");

    L.SetText("a\rb\n"); // a lone CR is part of the line; a final break adds no empty line
    ASSERT_EQ(L.GetCount(), 1);
    EXPECT_EQ(L.Get(0), "a\rb");
    L.SetText("");
    EXPECT_EQ(L.GetCount(), 0);
    L.SetText("\n");
    ASSERT_EQ(L.GetCount(), 1);
    EXPECT_EQ(L.Get(0), "");
    L.SetText(std::string("nul\0inside", 10));
    EXPECT_EQ(L.Get(0).size(), 10u);
}

TEST(StringListTest, LoadsSavesAndAssigns) {
    test::TTempDir Dir;
    test::WriteFile(Dir.File("in.txt"), "x\ny\n");
    TStringList L;
    L.LoadFromFile(Dir.File("in.txt"));
    EXPECT_EQ(L.GetCount(), 2);
    L.Add("z");
    L.SaveToFile(Dir.File("out.txt"));
    EXPECT_EQ(test::ReadFile(Dir.File("out.txt")), "x\r\ny\r\nz\r\n");

    TMemoryStream S;
    S.WriteBuffer("skip|p\nq", 8);
    S.SetPosition(5); // loads from the position on
    L.LoadFromStream(&S);
    EXPECT_EQ(L.GetText(), "p\r\nq\r\n");

    TStringList Copy;
    Copy.Add("old");
    Copy.Assign(&L);
    EXPECT_EQ(Copy.GetText(), "p\r\nq\r\n");
    class TNotStrings : public TPersistent {
    } Other;
    EXPECT_THROW(Copy.Assign(&Other), EConvertError);
}

TEST(StringListTest, UpdateStateBracketsRunsOfChanges) {
    class TCounting : public TStringList {
    public:
        std::vector<bool> States;

    protected:
        void SetUpdateState(bool Updating) override { States.push_back(Updating); }
    } L;
    L.SetText("a\nb\nc");
    L.BeginUpdate();
    L.Add("d");
    L.EndUpdate();
    EXPECT_EQ(L.States, (std::vector<bool>{true, false, true, false}));
}

} // namespace
} // namespace kestrel
