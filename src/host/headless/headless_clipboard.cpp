// THeadlessClipboard.
#include "host/headless/headless_clipboard.h"

#include <utility>

namespace kestrel::headless {

void THeadlessClipboard::PublishClipboard(std::vector<TClipboardItem> Items) {
    FItems = std::move(Items);
}

std::vector<UINT> THeadlessClipboard::GetClipboardFormats() const {
    std::vector<UINT> Result;
    for (const TClipboardItem& Item : FItems)
        Result.push_back(Item.Format);
    return Result;
}

bool THeadlessClipboard::ReadClipboard(UINT Format, std::string& Bytes) const {
    for (const TClipboardItem& Item : FItems) {
        if (Item.Format == Format) {
            Bytes = Item.Bytes;
            return true;
        }
    }
    return false;
}

std::string THeadlessClipboard::GetClipboardBytes(UINT Format) const {
    std::string Bytes;
    ReadClipboard(Format, Bytes);
    return Bytes;
}

void THeadlessClipboard::ChangeElsewhere(std::vector<TClipboardItem> Items) {
    FItems = std::move(Items);
    NotifyClipboardChanged();
}

} // namespace kestrel::headless
