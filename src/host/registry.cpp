// TRegistry.
#include "host/registry.h"

namespace kestrel {

namespace {

// "\A\B\" -> "A\B": the platform takes paths without outer delimiters.
std::string Normalise(const std::string& Key) {
    std::size_t First = Key.find_first_not_of('\\');
    if (First == std::string::npos)
        return {};
    std::size_t Last = Key.find_last_not_of('\\');
    return Key.substr(First, Last - First + 1);
}

[[noreturn]] void InvalidType(const std::string& Name) {
    throw ERegistryException("Invalid data type for '" + Name + "'");
}

} // namespace

void TRegistry::SetRootKey(HKEY Value) {
    CloseKey();
    FRootKey = Value;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    CloseKey();
    const std::string Path = Normalise(Key);
    TSettingsService& P = SettingsService();
    if (!P.RegKeyExists(FRootKey, Path) && !(CanCreate && P.RegCreateKey(FRootKey, Path)))
        return false;
    FCurrentPath = Path;
    FOpen = true;
    FReadOnly = false;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    if (!OpenKey(Key, false))
        return false;
    FReadOnly = true;
    return true;
}

void TRegistry::CloseKey() {
    FCurrentPath.clear();
    FOpen = false;
    FReadOnly = false;
}

bool TRegistry::KeyExists(const std::string& Key) const {
    return SettingsService().RegKeyExists(FRootKey, Normalise(Key));
}

bool TRegistry::ValueExists(const std::string& Name) const {
    TRegValue Value;
    return FOpen && SettingsService().RegQueryValue(FRootKey, FCurrentPath, Name, Value);
}

std::string TRegistry::ReadString(const std::string& Name) const {
    TRegValue Value;
    if (!FOpen || !SettingsService().RegQueryValue(FRootKey, FCurrentPath, Name, Value))
        return {};
    if (Value.Kind != TRegValue::rdString)
        InvalidType(Name);
    return Value.Text;
}

std::int64_t TRegistry::ReadInteger(const std::string& Name) const {
    TRegValue Value;
    if (!FOpen || !SettingsService().RegQueryValue(FRootKey, FCurrentPath, Name, Value) ||
        Value.Kind != TRegValue::rdInteger)
        InvalidType(Name);
    return Value.Number;
}

void TRegistry::RequireWritable() const {
    if (!FOpen || FReadOnly)
        throw ERegistryException("Failed to set data: no key is open for writing");
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    RequireWritable();
    TRegValue V;
    V.Kind = TRegValue::rdString;
    V.Text = Value;
    SettingsService().RegSetValue(FRootKey, FCurrentPath, Name, V);
}

void TRegistry::WriteInteger(const std::string& Name, std::int64_t Value) {
    RequireWritable();
    TRegValue V;
    V.Kind = TRegValue::rdInteger;
    V.Number = Value;
    SettingsService().RegSetValue(FRootKey, FCurrentPath, Name, V);
}

bool TRegistry::DeleteValue(const std::string& Name) {
    RequireWritable();
    return SettingsService().RegDeleteValue(FRootKey, FCurrentPath, Name);
}

} // namespace kestrel
