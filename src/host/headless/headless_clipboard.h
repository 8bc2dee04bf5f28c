// THeadlessClipboard: the headless platform's clipboard transport, in process.
#pragma once

#include "host/platform.h"

#include <string>
#include <vector>

namespace kestrel::headless {

/// Holds the content the host published, format by format in order. Tests read it without
/// opening the clipboard, and play another program that changes it.
class THeadlessClipboard : public TClipboardTransport {
public:
    void PublishClipboard(std::vector<TClipboardItem> Items) override;
    /// The formats present, in the order they were put.
    std::vector<UINT> GetClipboardFormats() const override;
    bool ReadClipboard(UINT Format, std::string& Bytes) const override;

    /// Every byte under Format; "" when absent.
    std::string GetClipboardBytes(UINT Format) const;
    /// Another program puts Items on the clipboard: the host hears of it.
    void ChangeElsewhere(std::vector<TClipboardItem> Items);

private:
    std::vector<TClipboardItem> FItems; // at most one per format
};

} // namespace kestrel::headless
