// TRegistry: the current user's settings through the platform's settings service.
#pragma once

#include "host/exceptions.h"
#include "host/object.h"
#include "host/platform.h"

#include <cstdint>
#include <string>

namespace kestrel {

KESTREL_DECLARE_EXCEPTION(ERegistryException, Exception);

/// A cursor on one key of the registry: open a key, then read or write its values.
class TRegistry : public TObject {
public:
    TRegistry() = default;

    HKEY GetRootKey() const { return FRootKey; }
    void SetRootKey(HKEY Value);
    /// The open key's path ("" when none is open).
    const std::string& GetCurrentPath() const { return FCurrentPath; }

    /// Opens Key (creating it when CanCreate); false when it does not exist.
    bool OpenKey(const std::string& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::string& Key);
    void CloseKey();
    bool KeyExists(const std::string& Key) const;
    bool ValueExists(const std::string& Name) const;

    /// The string value Name; "" when it does not exist. A value of another type raises
    /// ERegistryException "Invalid data type for '<Name>'".
    std::string ReadString(const std::string& Name) const;
    /// The integer value Name; a missing value or one of another type raises
    /// ERegistryException "Invalid data type for '<Name>'".
    std::int64_t ReadInteger(const std::string& Name) const;
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteInteger(const std::string& Name, std::int64_t Value);
    bool DeleteValue(const std::string& Name);

private:
    void RequireWritable() const;

    HKEY FRootKey = HKEY_CURRENT_USER;
    std::string FCurrentPath;
    bool FOpen = false;
    bool FReadOnly = false;
};

} // namespace kestrel
