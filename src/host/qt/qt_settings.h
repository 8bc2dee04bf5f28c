// TQtSettings: the Qt platform's settings, a QSettings file that keeps strings and integers apart.
#pragma once

#include "host/platform.h"

#include <QSettings>

#include <memory>
#include <string>

namespace kestrel::qt {

/// Keys are QSettings groups ("HKEY_CURRENT_USER/control panel/mouse"), values keys within
/// them; paths and names are kept in lower case, so that they compare without case. The file
/// is written in a format of its own that keeps each value's kind.
class TQtSettings : public TSettingsService {
public:
    /// Settings in FileName; empty: the user's configuration folder, "kestrel.conf".
    explicit TQtSettings(const std::string& FileName = {});
    ~TQtSettings() override;

    bool RegKeyExists(HKEY Root, const std::string& Path) const override;
    bool RegCreateKey(HKEY Root, const std::string& Path) override;
    bool RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                       TRegValue& Value) const override;
    bool RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                     const TRegValue& Value) override;
    bool RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) override;

    /// Writes what changed to the file.
    void Sync();
    QSettings& Settings() { return *FSettings; }

private:
    std::unique_ptr<QSettings> FSettings;
};

} // namespace kestrel::qt
