// TQtClipboard: the Qt platform's clipboard transport over QClipboard.
#pragma once

#include "host/platform.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QMimeData;

namespace kestrel::qt {

/// The MIME type of a registered clipboard format Name: "application/x-kestrel-" and the
/// name in lower case.
QString MimeTypeOf(const std::string& Name);

/// CF_TEXT is text/plain (Windows-1252 bytes as Unicode, up to the first zero byte); a
/// registered format is its private MIME type, its bytes as they are. A change made by another
/// program (QClipboard::dataChanged for content that is not ours) is told to the host.
class TQtClipboard : public TClipboardTransport {
public:
    TQtClipboard();
    ~TQtClipboard() override;
    TQtClipboard(const TQtClipboard&) = delete;
    TQtClipboard& operator=(const TQtClipboard&) = delete;

    void PublishClipboard(std::vector<TClipboardItem> Items) override;
    std::vector<UINT> GetClipboardFormats() const override;
    bool ReadClipboard(UINT Format, std::string& Bytes) const override;

private:
    void Changed();

    QObject FContext;
    QPointer<QMimeData> FPublished; // what we last put there (owned by QClipboard)
};

} // namespace kestrel::qt
