// MessageDlg: the modal message box with its kinds, buttons and modal results.
#pragma once

#include "host/set.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// The kind of message: decides the box's caption and icon.
enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

/// The buttons a message box can offer.
enum TMsgDlgBtn : std::uint8_t {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
};
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

inline constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline constexpr TMsgDlgButtons mbYesAllNoAllCancel{mbYes, mbYesToAll, mbNo, mbNoToAll, mbCancel};
inline constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};
inline constexpr TMsgDlgButtons mbAbortIgnore{mbAbort, mbIgnore};

/// What a modal box answers: the button chosen (the usual dialog-result values).
using TModalResult = int;
enum : TModalResult {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

/// The result a button gives when pressed; mrNone for mbHelp, which does not close the box.
TModalResult ModalResultOf(TMsgDlgBtn Button);
/// The caption of a box of kind DlgType ("Warning", "Error", "Information", "Confirm"; the
/// application's title for mtCustom is left to the platform: "").
std::string MessageDlgCaption(TMsgDlgType DlgType);

/// Shows Msg in a modal box of kind DlgType with Buttons and returns the result of the button
/// chosen. HelpCtx names a help topic (0: none). On the headless platform the answers come from
/// a queue the program fills beforehand; with none queued the box answers mrCancel (the user
/// closed it) at once.
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        std::int64_t HelpCtx);

} // namespace kestrel
