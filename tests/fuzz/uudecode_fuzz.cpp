// Fuzz target: the uudecoder on mail-like text. The first byte chooses the mode: arbitrary text
// decoded into a scratch folder (nothing may be written outside it, no temporary file may stay),
// or a payload encoded by the encoder with noise lines before and after it, which must decode to
// the payload exactly.
#include "host/streams.h"
#include "textbuff/edit_stream.h"
#include "textbuff/text_stream.h"
#include "uuencode/uu_decoder.h"
#include "uuencode/uu_encoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace kestrel {
namespace {

namespace fs = std::filesystem;

void Expect(bool Holds, const std::string& What) {
    if (!Holds) {
        std::fprintf(stderr, "uudecode: %s\n", What.c_str());
        std::abort();
    }
}

const fs::path& Scratch() {
    static const fs::path Dir = [] {
        fs::path P = fs::temp_directory_path() / ("kestrel-uufuzz-" + std::to_string(getpid()));
        fs::create_directories(P / "out");
        return P;
    }();
    return Dir;
}

std::unique_ptr<TTextStream> TextOf(const std::string& S) {
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer(S.data(), static_cast<std::int64_t>(S.size()));
    auto Text = std::make_unique<TTextStream>(nullptr);
    Text->SetBufSize(64);
    Text->SetSourceStream(std::move(Source));
    return Text;
}

// Decodes Text into Scratch()/out, approving every file; returns the names written there.
std::vector<fs::path> DecodeAll(TTextBuffer* Text) {
    const fs::path Out = Scratch() / "out";
    TUUDecoder Decoder(nullptr);
    Decoder.SetDirectory(Out.string());
    Decoder.SetOnStartDecode([](TUUDecoder*, std::string&, bool&) {});
    // Every file left in the folder is one the decoder told of: no temporary output stays.
    std::set<fs::path> Told;
    Decoder.SetOnEndDecode([&](TUUDecoder*, TUdStates, TUUErrors, const std::string& Name) {
        Told.insert(fs::path(Name).filename());
    });
    Decoder.UUDecode(Text, 0);
    std::vector<fs::path> Files;
    for (const auto& E : fs::directory_iterator(Out)) {
        Expect(Told.count(E.path().filename()) == 1,
               "a file nobody was told of was left: " + E.path().string());
        Files.push_back(E.path());
    }
    // Nothing beside the output folder, in the scratch folder itself.
    for (const auto& E : fs::directory_iterator(Scratch()))
        Expect(E.path().filename() == "out", "wrote outside its folder: " + E.path().string());
    return Files;
}

void Clean() {
    for (const auto& E : fs::directory_iterator(Scratch() / "out"))
        fs::remove_all(E.path());
}

std::string ReadFile(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// Noise lines as mail programs leave them; a line that could open or close an encoded part is
// made harmless so that the payload's part stays the only one.
std::string Noise(const std::string& Bytes) {
    std::string Out;
    std::size_t Start = 0;
    while (Start < Bytes.size()) {
        std::size_t End = Bytes.find('\n', Start);
        if (End == std::string::npos)
            End = Bytes.size();
        std::string Line = Bytes.substr(Start, End - Start);
        Out += "> " + Line + "\r\n";
        Start = End + 1;
    }
    return Out;
}

void RoundTrip(const std::uint8_t* Data, std::size_t Size) {
    const std::size_t Split = Size == 0 ? 0 : Data[0] % (Size + 1);
    const std::string Payload(reinterpret_cast<const char*>(Data) + Split, Size - Split);
    const std::string Before = Noise(std::string(reinterpret_cast<const char*>(Data), Split));

    const fs::path Source = Scratch() / "payload.bin";
    {
        std::ofstream F(Source, std::ios::binary);
        F.write(Payload.data(), static_cast<std::streamsize>(Payload.size()));
    }
    TEditStream Text(nullptr);
    Text.InsertString(Before, 0);
    TUUEncoder Encoder(nullptr);
    bool Cancelled = false;
    const std::int64_t Sections = Size > 0 ? 1 + Data[Size - 1] % 3 : 1;
    Encoder.UUEncodeFileSections(Source.string(), "payload.bin", &Text,
                                 static_cast<std::int64_t>(Before.size()), Sections, Cancelled);
    Text.InsertString(Before, Text.GetTextSize());
    fs::remove(Source);

    const std::vector<fs::path> Files = DecodeAll(&Text);
    Expect(Files.size() == 1 && Files[0].filename() == "payload.bin",
           "the encoded payload was not decoded as one file");
    Expect(ReadFile(Files[0]) == Payload, "the decoded payload differs");
    Clean();
}

} // namespace
} // namespace kestrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace kestrel;
    if (Size == 0)
        return 0;
    if (Data[0] & 1) {
        RoundTrip(Data + 1, Size - 1);
    } else {
        auto Text = TextOf(std::string(reinterpret_cast<const char*>(Data) + 1, Size - 1));
        DecodeAll(Text.get());
        Clean();
    }
    return 0;
}
