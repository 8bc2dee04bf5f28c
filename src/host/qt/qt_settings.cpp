// TQtSettings.
#include "host/qt/qt_settings.h"

#include "host/qt/qt_text.h"

#include <QIODevice>
#include <QStandardPaths>
#include <QTextStream>

namespace kestrel::qt {

namespace {

// A key marks that a registry key exists, values or not.
const QString KeyMark = QStringLiteral(".key");

// One line per value: the key, a tab, 'i' or 's', a tab, the value (tab, newline and backslash
// escaped).
QString Escape(QString S) {
    S.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    S.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    S.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    S.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return S;
}

QString Unescape(const QString& S) {
    QString Out;
    for (qsizetype I = 0; I < S.size(); ++I) {
        if (S[I] != QLatin1Char('\\') || I + 1 == S.size()) {
            Out += S[I];
            continue;
        }
        const QChar C = S[++I];
        Out += C == QLatin1Char('t')   ? QChar('\t')
               : C == QLatin1Char('n') ? QChar('\n')
               : C == QLatin1Char('r') ? QChar('\r')
                                       : C;
    }
    return Out;
}

bool ReadTyped(QIODevice& Device, QSettings::SettingsMap& Map) {
    QTextStream In(&Device);
    In.setEncoding(QStringConverter::Utf8);
    while (!In.atEnd()) {
        const QString Line = In.readLine();
        const qsizetype A = Line.indexOf(QLatin1Char('\t'));
        const qsizetype B = A < 0 ? -1 : Line.indexOf(QLatin1Char('\t'), A + 1);
        if (B != A + 2)
            continue; // not a value line
        const QString Key = Unescape(Line.left(A));
        const QString Text = Unescape(Line.mid(B + 1));
        if (Line[A + 1] == QLatin1Char('i'))
            Map.insert(Key, Text.toLongLong());
        else
            Map.insert(Key, Text);
    }
    return true;
}

bool WriteTyped(QIODevice& Device, const QSettings::SettingsMap& Map) {
    QTextStream Out(&Device);
    Out.setEncoding(QStringConverter::Utf8);
    for (auto It = Map.cbegin(); It != Map.cend(); ++It) {
        const bool Integer =
            It.value().typeId() == QMetaType::LongLong || It.value().typeId() == QMetaType::Int;
        Out << Escape(It.key()) << '\t' << (Integer ? 'i' : 's') << '\t'
            << Escape(It.value().toString()) << '\n';
    }
    return Out.status() == QTextStream::Ok;
}

QSettings::Format TypedFormat() {
    static const QSettings::Format Format =
        QSettings::registerFormat(QStringLiteral("conf"), ReadTyped, WriteTyped);
    return Format;
}

QString Group(HKEY Root, const std::string& Path) {
    QString P = ToQString(Path).toLower();
    P.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (P.startsWith(QLatin1Char('/')))
        P.remove(0, 1);
    while (P.endsWith(QLatin1Char('/')))
        P.chop(1);
    const QString R = Root == HKEY_CLASSES_ROOT ? QStringLiteral("HKEY_CLASSES_ROOT")
                                                : QStringLiteral("HKEY_CURRENT_USER");
    return P.isEmpty() ? R : R + QLatin1Char('/') + P;
}

QString ValueKey(HKEY Root, const std::string& Path, const std::string& Name) {
    QString N = ToQString(Name).toLower();
    N.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    return Group(Root, Path) + QLatin1Char('/') + (N.isEmpty() ? QStringLiteral("@") : N);
}

} // namespace

TQtSettings::TQtSettings(const std::string& FileName) {
    QString File = QString::fromStdString(FileName);
    if (File.isEmpty())
        File = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               QStringLiteral("/kestrel.conf");
    FSettings = std::make_unique<QSettings>(File, TypedFormat());
}

TQtSettings::~TQtSettings() {
    FSettings->sync();
}

void TQtSettings::Sync() {
    FSettings->sync();
}

bool TQtSettings::RegKeyExists(HKEY Root, const std::string& Path) const {
    return FSettings->contains(Group(Root, Path) + QLatin1Char('/') + KeyMark);
}

bool TQtSettings::RegCreateKey(HKEY Root, const std::string& Path) {
    QString G = Group(Root, Path);
    // Every key on the way exists too.
    for (;;) {
        FSettings->setValue(G + QLatin1Char('/') + KeyMark, QStringLiteral(""));
        const qsizetype Slash = G.lastIndexOf(QLatin1Char('/'));
        if (Slash < 0)
            break;
        G.truncate(Slash);
    }
    return FSettings->status() == QSettings::NoError;
}

bool TQtSettings::RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                                TRegValue& Value) const {
    const QVariant V = FSettings->value(ValueKey(Root, Path, Name));
    if (!V.isValid())
        return false;
    if (V.typeId() == QMetaType::LongLong || V.typeId() == QMetaType::Int) {
        Value.Kind = TRegValue::rdInteger;
        Value.Number = V.toLongLong();
        Value.Text.clear();
    } else {
        Value.Kind = TRegValue::rdString;
        Value.Text = FromQString(V.toString());
        Value.Number = 0;
    }
    return true;
}

bool TQtSettings::RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                              const TRegValue& Value) {
    RegCreateKey(Root, Path);
    const QString Key = ValueKey(Root, Path, Name);
    if (Value.Kind == TRegValue::rdInteger)
        FSettings->setValue(Key, static_cast<qlonglong>(Value.Number));
    else
        FSettings->setValue(Key, ToQString(Value.Text));
    return FSettings->status() == QSettings::NoError;
}

bool TQtSettings::RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) {
    const QString Key = ValueKey(Root, Path, Name);
    if (!FSettings->contains(Key))
        return false;
    FSettings->remove(Key);
    return true;
}

} // namespace kestrel::qt
