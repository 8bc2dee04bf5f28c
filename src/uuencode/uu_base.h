// The coders' common base, their exception, progress event, states, errors and character tables.
#pragma once

#include "host/component.h"
#include "host/exceptions.h"
#include "uuencode/sum_check.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace kestrel {

class TUUBase;

/// Raised with "TextBuffer is not editable" when the encoder is given a container it cannot
/// insert into.
KESTREL_DECLARE_EXCEPTION(TUUException, Exception);

/// Progress of a coder: Done bytes read (encoding) or text bytes scanned (decoding); setting
/// Cancelled stops at the end of the current block or line.
using TUUProgressEvent = std::function<void(TUUBase* Sender, std::int64_t Done, bool& Cancelled)>;

/// Where the decoder stands in the text.
enum TUdStates : std::uint8_t {
    udInit,              // looking for a begin line
    udDecoding,          // data lines being written
    udSectionBreak,      // text between sections
    udSectionChecked,    // a section's checksum line seen
    udEnd,               // the end line seen
    udEndSectionChecked, // the last section's checksum line seen
    uuCancelled,         // stopped by the progress handler
    udFileChecked,       // the file's checksum line seen
};

enum TUUErrors : std::uint8_t {
    uuNoError,
    uuUserError, // a file of the begin line's name exists and nothing approved replacing it
    uuNoSpace,
    uuLineError,
    uuFileSumCheck,
    uuSectionSumCheck,
    uuBadCharacter,
};

/// Value 0 is the grave accent; 1 .. 63 are characters 33 .. 95.
inline constexpr std::array<std::uint8_t, 64> EncodeAlphabet = [] {
    std::array<std::uint8_t, 64> A{};
    A[0] = 96;
    for (int I = 1; I < 64; ++I)
        A[I] = static_cast<std::uint8_t>(I + 32);
    return A;
}();

/// Space and the grave accent are 0, characters 33 .. 95 are 1 .. 63, every other byte 255.
inline constexpr std::array<std::uint8_t, 256> DecodeTable = [] {
    std::array<std::uint8_t, 256> T{};
    for (auto& V : T)
        V = 255;
    T[32] = 0;
    T[96] = 0;
    for (int C = 33; C <= 95; ++C)
        T[C] = static_cast<std::uint8_t>(C - 32);
    return T;
}();

/// The checksums both coders keep: FileSum over the file's bytes, SectionSum over the text
/// lines of the current section.
class TUUBase : public TComponent {
public:
    explicit TUUBase(TComponent* AOwner);
    ~TUUBase() override;

    TSumCheck& GetFileSum() const { return *FileSum; }
    TSumCheck& GetSectionSum() const { return *SectionSum; }

protected:
    std::unique_ptr<TSumCheck> FileSum;
    std::unique_ptr<TSumCheck> SectionSum;
};

} // namespace kestrel
