// TSumCheck: the rotating 16-bit checksum and byte count of the "sum -r" command.
#pragma once

#include "host/object.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

/// A running "sum -r" checksum: each byte is added to the sum rotated right by one bit within
/// 16 bits. Size counts the bytes added.
class TSumCheck : public TObject {
public:
    TSumCheck() = default;

    /// Sum := 0, Size := 0.
    void Clear() {
        Sum = 0;
        Size = 0;
    }
    /// Adds Count bytes of Buffer.
    void AddBuffer(const void* Buffer, std::uint16_t Count);
    /// Adds the bytes of a non-empty S and one LF: the line as stored with a Unix line end. An
    /// empty S adds nothing.
    void AddLine(std::string_view S);
    /// Data.AddBuffer(Bytes, Count) and Lines.AddLine(Line) in one pass: the two checksums are
    /// independent chains, and run side by side they take little more time than one.
    static void AddBufferAndLine(TSumCheck& Data, const void* Bytes, std::uint16_t Count,
                                 TSumCheck& Lines, std::string_view Line);
    /// "<Sum>/<Size>" in decimal, for example "8292/4".
    std::string GetSum() const;

    std::uint16_t GetSumValue() const { return Sum; }
    std::int64_t GetSize() const { return Size; }

private:
    // Unsigned arithmetic: the promoted rotation plus a byte can pass INT_MAX.
    static std::uint16_t Step(std::uint16_t S, std::uint8_t B) {
        const unsigned U = S;
        return static_cast<std::uint16_t>(((U >> 1) | (U << 15)) + B);
    }
    void AddBytes(const std::uint8_t* P, std::size_t Count) {
        std::uint16_t S = Sum;
        for (std::size_t I = 0; I < Count; ++I)
            S = Step(S, P[I]);
        Sum = S;
    }

    std::uint16_t Sum = 0;
    std::int64_t Size = 0; // bytes added since the last Clear
};

} // namespace kestrel
