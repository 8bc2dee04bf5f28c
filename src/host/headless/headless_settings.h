// THeadlessSettings: the headless platform's settings, an in-memory tree of keys.
#pragma once

#include "host/platform.h"

#include <map>
#include <string>

namespace kestrel::headless {

/// Keys (paths compared without case) holding string and integer values.
class THeadlessSettings : public TSettingsService {
public:
    bool RegKeyExists(HKEY Root, const std::string& Path) const override;
    bool RegCreateKey(HKEY Root, const std::string& Path) override;
    bool RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                       TRegValue& Value) const override;
    bool RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                     const TRegValue& Value) override;
    bool RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) override;

private:
    // "root\path" (lower case) -> value name (lower case) -> value.
    std::map<std::string, std::map<std::string, TRegValue>> FKeys;
};

} // namespace kestrel::headless
