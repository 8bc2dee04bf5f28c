// TSumCheck: the "sum -r" checksum.
#include "uuencode/sum_check.h"

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

std::string TSumCheck::GetSum() const {
    return std::to_string(Sum) + "/" + std::to_string(Size);
}

} // namespace kestrel
