// What the layout subcommands share: a file opened as a text stream on the headless screen.
#pragma once

#include "kxtool.h"

#include "host/graphics.h"
#include "host/headless/headless_platform.h"
#include "host/streams.h"
#include "textbuff/text_stream.h"

#include <memory>
#include <string>

namespace kestrel::kxtool {

/// A file as a text stream with the largest window, measured with a 10-point font of the
/// headless platform ("mono" or "prop") and wrapped at Wrap pixels (0: not wrapped).
class TLayoutTool {
public:
    TLayoutTool(const std::string& FileName, const std::string& Font, std::int64_t Wrap)
        : Text(nullptr) {
        if (Font != "mono" && Font != "prop")
            throw TUsageError("--font is mono or prop, not '" + Font + "'");
        if (Wrap < 0)
            throw TUsageError("--wrap cannot be negative");
        Canvas.SetHandle(Platform.Graphics().GetScreenDC());
        Canvas.GetFont()->SetName(Font == "mono" ? "Courier New" : "Arial");
        Canvas.GetFont()->SetSize(10);
        Text.SetBufSize(0xFFFF);
        Text.SetSourceStream(OpenSeekableSource(FileName, fmOpenRead | fmShareDenyWrite));
        Text.SetCanvas(&Canvas);
        Text.SetMaxWidth(Wrap > 0 ? Wrap : NoWrapWidth);
    }
    ~TLayoutTool() { Text.SetCanvas(nullptr); }
    TLayoutTool(const TLayoutTool&) = delete;
    TLayoutTool& operator=(const TLayoutTool&) = delete;

    headless::THeadlessGraphicsScope Platform;
    TCanvas Canvas;
    TTextStream Text;
};

} // namespace kestrel::kxtool
