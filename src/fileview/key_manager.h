// TKeyManager: the table that maps key codes (virtual key plus modifier bits) to commands.
#pragma once

#include "host/messages.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrel {

/// A key code: bits 0-7 the virtual key, 0x0100 Ctrl, 0x0200 Shift, 0x0400 the quick key was
/// pressed just before, 0x0800 Alt; 0 is no key.
using TKeyDefinition = std::uint16_t;

constexpr TKeyDefinition kdCtrl = 0x0100;
constexpr TKeyDefinition kdShift = 0x0200;
constexpr TKeyDefinition kdQuick = 0x0400; ///< the quick key was pressed just before
constexpr TKeyDefinition kdAlt = 0x0800;

/// A parameterless command; an empty function is "not assigned".
using TKeyEventHandler = std::function<void()>;

/// Maps key codes to commands, ordered by key code, with a two-stroke prefix key (the quick
/// key) that gives a second plane of commands.
class TKeyManager {
public:
    struct TEntry {
        TKeyDefinition Key = 0;
        TKeyEventHandler Handler;
    };

    /// Binary search for Key; when absent, Index is the insertion point and the result false.
    bool Search(TKeyDefinition Key, std::int64_t& Index) const;
    /// Binds Key to Handler, taking it from any command that held it; an empty Handler unbinds.
    void SetKeyCode(TKeyDefinition Key, TKeyEventHandler Handler);
    /// Makes Key the prefix key (removing the old prefix's binding).
    void SetQuickKey(TKeyDefinition Key);
    TKeyDefinition GetQuickKey() const { return FQuickKey; }
    bool GetQuickKeyPending() const { return FQuickKeyPending; }
    /// Runs the command of a key-down (Key is its virtual key); false when no command took it.
    bool TranslateKey(std::uint16_t Key, TShiftState Shift);
    /// The prefix key's own command: the next translated key gets the quick-key bit.
    void DoQuickKey() { FQuickKeyPending = true; }
    void FreeEntryAt(std::int64_t Index);

    std::int64_t GetCount() const { return static_cast<std::int64_t>(FEntries.size()); }
    const TEntry& GetEntry(std::int64_t Index) const {
        return FEntries.at(static_cast<std::size_t>(Index));
    }

private:
    std::vector<TEntry> FEntries; // ascending by Key; each key at most once
    TKeyDefinition FQuickKey = 0;
    bool FQuickKeyPending = false; // from a press of the quick key to the next translated key
};

} // namespace kestrel
