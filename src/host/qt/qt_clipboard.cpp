// TQtClipboard.
#include "host/qt/qt_clipboard.h"

#include "host/clipboard.h"
#include "host/qt/qt_queue.h"
#include "host/qt/qt_text.h"
#include "host/window_platform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kestrel::qt {

namespace {

const QString Prefix = QStringLiteral("application/x-kestrel-");
const QString PlainText = QStringLiteral("text/plain");

QClipboard* Board() {
    return QGuiApplication::clipboard();
}

} // namespace

QString MimeTypeOf(const std::string& Name) {
    return Prefix + QString::fromStdString(Name).toLower();
}

TQtClipboard::TQtClipboard() {
    QObject::connect(Board(), &QClipboard::dataChanged, &FContext, [this] { Changed(); });
}

TQtClipboard::~TQtClipboard() = default;

void TQtClipboard::Changed() {
    const QMimeData* Now = Board()->mimeData();
    if (FPublished && Now == FPublished.data())
        return; // what we published
    try {
        NotifyClipboardChanged();
    } catch (...) {
        TQtQueue::ReportException();
    }
}

void TQtClipboard::PublishClipboard(std::vector<TClipboardItem> Items) {
    if (Items.empty()) {
        FPublished = nullptr;
        Board()->clear();
        return;
    }
    auto* Data = new QMimeData;
    for (const TClipboardItem& Item : Items) {
        if (Item.Format == CF_TEXT || Item.Format == CF_OEMTEXT) {
            // Lines end with LF on this platform's clipboard.
            QString Text = ToQString(Item.Bytes.substr(0, Item.Bytes.find('\0')));
            Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            Data->setText(Text);
        } else {
            std::string Name = GetClipboardFormatName(Item.Format);
            if (Name.empty())
                Name = "format-" + std::to_string(Item.Format);
            Data->setData(MimeTypeOf(Name),
                          QByteArray(Item.Bytes.data(), static_cast<qsizetype>(Item.Bytes.size())));
        }
    }
    FPublished = Data;
    Board()->setMimeData(Data);
}

std::vector<UINT> TQtClipboard::GetClipboardFormats() const {
    std::vector<UINT> Formats;
    const QMimeData* Data = Board()->mimeData();
    if (Data == nullptr)
        return Formats;
    if (Data->hasText())
        Formats.push_back(CF_TEXT);
    for (const QString& Type : Data->formats())
        if (Type.startsWith(Prefix) && !Type.startsWith(Prefix + QStringLiteral("format-")))
            if (const UINT F = RegisterClipboardFormat(Type.mid(Prefix.size()).toStdString()))
                Formats.push_back(F);
    return Formats;
}

bool TQtClipboard::ReadClipboard(UINT Format, std::string& Bytes) const {
    const QMimeData* Data = Board()->mimeData();
    if (Data == nullptr)
        return false;
    if (Format == CF_TEXT) {
        if (!Data->hasText())
            return false;
        QString Text = Data->text();
        Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        Bytes = FromQString(Text);
        Bytes += '\0';
        return true;
    }
    std::string Name = GetClipboardFormatName(Format);
    if (Name.empty())
        return false;
    const QString Type = MimeTypeOf(Name);
    if (!Data->hasFormat(Type))
        return false;
    const QByteArray Raw = Data->data(Type);
    Bytes.assign(Raw.constData(), static_cast<std::size_t>(Raw.size()));
    return true;
}

} // namespace kestrel::qt
