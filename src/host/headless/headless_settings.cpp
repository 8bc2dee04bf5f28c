// THeadlessSettings.
#include "host/headless/headless_settings.h"

#include <cctype>
#include <cstddef>

namespace kestrel::headless {

namespace {

std::string Lower(std::string S) {
    for (char& C : S)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

// "root\path" in lower case, without outer delimiters.
std::string KeyOf(HKEY Root, const std::string& Path) {
    std::string P = Lower(Path);
    while (!P.empty() && P.back() == '\\')
        P.pop_back();
    while (!P.empty() && P.front() == '\\')
        P.erase(P.begin());
    return std::to_string(Root) + (P.empty() ? "" : "\\" + P);
}

} // namespace

bool THeadlessSettings::RegKeyExists(HKEY Root, const std::string& Path) const {
    return Path.empty() || FKeys.count(KeyOf(Root, Path)) != 0;
}

bool THeadlessSettings::RegCreateKey(HKEY Root, const std::string& Path) {
    // Every key on the way exists afterwards.
    std::string Part;
    for (std::size_t I = 0; I <= Path.size(); ++I) {
        if (I == Path.size() || Path[I] == '\\') {
            if (!Part.empty())
                FKeys[KeyOf(Root, Part)];
        }
        if (I < Path.size())
            Part += Path[I];
    }
    return true;
}

bool THeadlessSettings::RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                                      TRegValue& Value) const {
    const auto Key = FKeys.find(KeyOf(Root, Path));
    if (Key == FKeys.end())
        return false;
    const auto It = Key->second.find(Lower(Name));
    if (It == Key->second.end())
        return false;
    Value = It->second;
    return true;
}

bool THeadlessSettings::RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                                    const TRegValue& Value) {
    RegCreateKey(Root, Path);
    FKeys[KeyOf(Root, Path)][Lower(Name)] = Value;
    return true;
}

bool THeadlessSettings::RegDeleteValue(HKEY Root, const std::string& Path,
                                       const std::string& Name) {
    const auto Key = FKeys.find(KeyOf(Root, Path));
    return Key != FKeys.end() && Key->second.erase(Lower(Name)) != 0;
}

} // namespace kestrel::headless
