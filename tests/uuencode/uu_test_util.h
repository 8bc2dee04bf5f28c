// What the coder tests share: encoding a file into a string, decoding a string into a folder.
#pragma once

#include "host/streams.h"
#include "support/test_support.h"
#include "textbuff/edit_stream.h"
#include "textbuff/text_stream.h"
#include "uuencode/uuencode.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

/// The whole text of a container.
inline std::string TextOf(TTextBuffer& Text) {
    TMemoryStream Out;
    Text.CopyToStream(&Out, 0, Text.GetTextSize());
    return std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                       static_cast<std::size_t>(Out.GetSize()));
}

/// FileName encoded by the encoder into an empty edit stream (Sections sections).
inline std::string Encode(const std::string& FileName, const std::string& Name,
                          std::int64_t Sections = 1) {
    TEditStream Text(nullptr);
    TUUEncoder Encoder(nullptr);
    bool Cancelled = false;
    const std::int64_t Count =
        Encoder.UUEncodeFileSections(FileName, Name, &Text, 0, Sections, Cancelled);
    std::string Result = TextOf(Text);
    if (Count != static_cast<std::int64_t>(Result.size()))
        throw std::runtime_error("the encoder's count differs from the text inserted");
    return Result;
}

/// How each file of a decoding run ended.
struct TDecoded {
    TUdStates State;
    TUUErrors Error;
    std::string FileName;
};

/// A text held in memory, as a text stream with a small window.
inline std::unique_ptr<TTextStream> MemoryText(const std::string& S, std::uint16_t BufSize = 256) {
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer(S.data(), static_cast<std::int64_t>(S.size()));
    auto Text = std::make_unique<TTextStream>(nullptr);
    Text->SetBufSize(BufSize);
    Text->SetSourceStream(std::move(Source));
    return Text;
}

/// Decodes Text into Dir with Decoder and gathers every OnEndDecode.
inline std::vector<TDecoded> Decode(TUUDecoder& Decoder, const std::string& Text,
                                    const std::string& Dir) {
    std::vector<TDecoded> Ends;
    Decoder.SetDirectory(Dir);
    Decoder.SetOnEndDecode(
        [&](TUUDecoder*, TUdStates State, TUUErrors Error, const std::string& FileName) {
            Ends.push_back({State, Error, FileName});
        });
    auto Buffer = MemoryText(Text);
    Decoder.UUDecode(Buffer.get(), 0);
    return Ends;
}

inline std::vector<TDecoded> Decode(const std::string& Text, const std::string& Dir) {
    TUUDecoder Decoder(nullptr);
    return Decode(Decoder, Text, Dir);
}

/// The "sum -r" checksum, written out independently of TSumCheck.
inline std::uint16_t ReferenceSum(const std::string& Bytes) {
    unsigned Sum = 0;
    for (const unsigned char C : Bytes) {
        Sum = (Sum >> 1) + ((Sum & 1) << 15);
        Sum = (Sum + C) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(Sum);
}

} // namespace kestrel::test
