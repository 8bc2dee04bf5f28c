// Helpers of the storage tests: streams over strings, reading a container back whole.
#pragma once

#include "host/streams.h"
#include "textbuff/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::test {

/// A memory stream holding Text.
inline std::unique_ptr<TMemoryStream> MemoryStreamOf(const std::string& Text) {
    auto Stream = std::make_unique<TMemoryStream>();
    Stream->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    Stream->SetPosition(0);
    return Stream;
}

/// Count bytes from Pos, read through GetText window by window.
inline std::string ReadThroughWindows(TTextBuffer& Buffer, std::int64_t Pos, std::int64_t Count) {
    std::string Result;
    while (Count > 0) {
        const std::uint8_t* P = Buffer.GetText(Pos);
        const std::int64_t Avail = Buffer.GetValidEnd() - P + 1;
        if (Avail <= 0)
            break;
        const std::int64_t N = std::min(Avail, Count);
        Result.append(reinterpret_cast<const char*>(P), static_cast<std::size_t>(N));
        Pos += N;
        Count -= N;
    }
    return Result;
}

/// The whole text, by CopyText.
inline std::string WholeText(TTextBuffer& Buffer) {
    std::string Result(static_cast<std::size_t>(Buffer.GetTextSize()), '\0');
    Result.resize(
        static_cast<std::size_t>(Buffer.CopyText(Result.data(), 0, Buffer.GetTextSize())));
    return Result;
}

/// The bytes CopyToStream writes for Pos, Count.
inline std::string StreamedText(TTextBuffer& Buffer, std::int64_t Pos, std::int64_t Count) {
    TMemoryStream Out;
    Buffer.CopyToStream(&Out, Pos, Count);
    return std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                       static_cast<std::size_t>(Out.GetSize()));
}

/// Expects Action to raise exactly E with exactly Message.
template <typename E>
void ExpectRaises(const std::function<void()>& Action, const std::string& Message) {
    try {
        Action();
        ADD_FAILURE() << "no exception; expected: " << Message;
    } catch (const E& Error) {
        EXPECT_EQ(Error.GetMessage(), Message);
        EXPECT_EQ(typeid(Error), typeid(E)) << "a descendant was raised instead";
    } catch (const std::exception& Other) {
        ADD_FAILURE() << "other exception: " << Other.what() << "; expected: " << Message;
    }
}

} // namespace kestrel::test
