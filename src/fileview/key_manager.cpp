// TKeyManager.
#include "fileview/key_manager.h"

namespace kestrel {

bool TKeyManager::Search(TKeyDefinition Key, std::int64_t& Index) const {
    std::int64_t Lower = 0;
    std::int64_t Upper = GetCount() - 1;
    while (Upper >= Lower) {
        const std::int64_t Middle = (Lower + Upper) >> 1;
        const TKeyDefinition Found = FEntries[static_cast<std::size_t>(Middle)].Key;
        if (Found == Key) {
            Index = Middle;
            return true;
        }
        if (Key > Found)
            Lower = Middle + 1;
        else
            Upper = Middle - 1;
    }
    Index = Lower;
    return false;
}

void TKeyManager::SetKeyCode(TKeyDefinition Key, TKeyEventHandler Handler) {
    std::int64_t Index = 0;
    if (Search(Key, Index))
        FreeEntryAt(Index);
    if (Handler)
        FEntries.insert(FEntries.begin() + Index, TEntry{Key, std::move(Handler)});
}

void TKeyManager::SetQuickKey(TKeyDefinition Key) {
    if (FQuickKey != 0)
        SetKeyCode(FQuickKey, nullptr);
    FQuickKey = Key;
    SetKeyCode(Key, [this] { DoQuickKey(); });
}

bool TKeyManager::TranslateKey(std::uint16_t Key, TShiftState Shift) {
    TKeyDefinition Code = Key;
    if (FQuickKeyPending) {
        FQuickKeyPending = false;
        Code |= kdQuick;
    }
    if (Shift.Contains(ssCtrl))
        Code |= kdCtrl;
    if (Shift.Contains(ssShift))
        Code |= kdShift;
    if (Shift.Contains(ssAlt))
        Code |= kdAlt;

    std::int64_t Index = 0;
    bool Found = Search(Code, Index);
    if (!Found && (Code & (kdShift | kdAlt)) != 0)
        Found = Search(static_cast<TKeyDefinition>(Code & ~(kdShift | kdAlt)), Index);
    if (!Found)
        return false;
    // Copy: the command may rebind keys and so change the table under us.
    const TKeyEventHandler Handler = FEntries[static_cast<std::size_t>(Index)].Handler;
    Handler();
    return true;
}

void TKeyManager::FreeEntryAt(std::int64_t Index) {
    FEntries.erase(FEntries.begin() + Index);
}

} // namespace kestrel
