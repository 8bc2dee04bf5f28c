// TSumCheck: the "sum -r" checksum.
#include "uuencode/sum_check.h"

#include <algorithm>

namespace kestrel {

void TSumCheck::AddBuffer(const void* Buffer, std::uint16_t Count) {
    AddBytes(static_cast<const std::uint8_t*>(Buffer), Count);
    Size += Count;
}

void TSumCheck::AddLine(std::string_view S) {
    if (S.empty())
        return;
    AddBytes(reinterpret_cast<const std::uint8_t*>(S.data()), S.size());
    const std::uint8_t Lf = 10;
    AddBytes(&Lf, 1);
    Size += static_cast<std::int64_t>(S.size()) + 1;
}

void TSumCheck::AddBufferAndLine(TSumCheck& Data, const void* Bytes, std::uint16_t Count,
                                 TSumCheck& Lines, std::string_view Line) {
    if (Line.empty()) {
        Data.AddBuffer(Bytes, Count);
        return;
    }
    const auto* A = static_cast<const std::uint8_t*>(Bytes);
    const auto* B = reinterpret_cast<const std::uint8_t*>(Line.data());
    const std::size_t Both = std::min<std::size_t>(Count, Line.size());
    std::uint16_t SA = Data.Sum;
    std::uint16_t SB = Lines.Sum;
    for (std::size_t I = 0; I < Both; ++I) {
        SA = Step(SA, A[I]);
        SB = Step(SB, B[I]);
    }
    for (std::size_t I = Both; I < Count; ++I)
        SA = Step(SA, A[I]);
    for (std::size_t I = Both; I < Line.size(); ++I)
        SB = Step(SB, B[I]);
    Data.Sum = SA;
    Data.Size += Count;
    Lines.Sum = Step(SB, 10);
    Lines.Size += static_cast<std::int64_t>(Line.size()) + 1;
}

std::string TSumCheck::GetSum() const {
    return std::to_string(Sum) + "/" + std::to_string(Size);
}

} // namespace kestrel
