// MessageDlg on the headless platform: scripted answers, the record of what was asked, and the
// answer of a box nobody scripted.
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"
#include "host/message_dlg.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using headless::THeadlessPlatformScope;

TEST(MessageDlgTest, ScriptedAnswersComeInOrderAndEveryBoxIsRecorded) {
    THeadlessPlatformScope Scope;
    auto& P = Scope.Dialogs();
    P.PushMessageDlgAnswer(mrNo);
    P.PushMessageDlgAnswer(mrYes);
    EXPECT_EQ(MessageDlg("Save changes?", mtConfirmation, mbYesNoCancel, 0), mrNo);
    EXPECT_EQ(MessageDlg("Overwrite?", mtWarning, TMsgDlgButtons{mbYes, mbNo}, 7), mrYes);
    EXPECT_EQ(P.GetPendingMessageDlgAnswers(), 0U);

    // Nobody scripted this one: the box counts as closed, at once.
    EXPECT_EQ(MessageDlg("Disk full", mtError, TMsgDlgButtons{mbOK}, 0), mrCancel);

    const auto& Boxes = P.GetMessageDlgs();
    ASSERT_EQ(Boxes.size(), 3U);
    EXPECT_EQ(Boxes[0].Msg, "Save changes?");
    EXPECT_EQ(Boxes[0].DlgType, mtConfirmation);
    EXPECT_EQ(Boxes[0].Buttons, mbYesNoCancel);
    EXPECT_EQ(Boxes[0].Result, mrNo);
    EXPECT_EQ(Boxes[1].HelpCtx, 7);
    EXPECT_EQ(Boxes[2].Msg, "Disk full");
    EXPECT_EQ(Boxes[2].Result, mrCancel);
    P.ClearMessageDlgs();
    EXPECT_TRUE(P.GetMessageDlgs().empty());
}

TEST(MessageDlgTest, AnAnswerNoButtonGivesIsAScriptError) {
    THeadlessPlatformScope Scope;
    auto& P = Scope.Dialogs();
    P.PushMessageDlgAnswer(mrRetry);
    EXPECT_THROW(MessageDlg("Save changes?", mtConfirmation, mbYesNoCancel, 0), EInvalidOperation);
    P.PushMessageDlgAnswer(mrIgnore);
    EXPECT_EQ(MessageDlg("Read error", mtError, mbAbortRetryIgnore, 0), mrIgnore);
}

} // namespace
} // namespace kestrel
