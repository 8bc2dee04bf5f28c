// TUUEncoder: header, data and checksum lines of the uuencoded text.
#include "uuencode/uu_encoder.h"

#include "host/scope_guard.h"
#include "host/sysutils.h"
#include "macros/macros.h"

#include <vector>

namespace kestrel {

namespace {

const char* const NotEditable = "TextBuffer is not editable";
const char* const CrLf = "\r\n";

} // namespace

TUUEncoder::TUUEncoder(TComponent* AOwner) : TUUBase(AOwner) {}

TUUEncoder::~TUUEncoder() = default;

void TUUEncoder::DemandEditable(TTextBuffer* Buffer) const {
    if (Buffer == nullptr || !Buffer->IsEditable())
        throw TUUException(NotEditable);
}

std::string TUUEncoder::TextName(const std::string& Name) {
    std::string Result = ExtractFileName(Name);
    for (char& C : Result)
        if (static_cast<unsigned char>(C) < 32 || C == 127)
            C = '_';
    return Result;
}

std::int64_t TUUEncoder::UUEncodeFile(const std::string& FileName, const std::string& Name,
                                      TTextBuffer* TextBuffer, std::int64_t Pos, bool& Cancelled) {
    return UUEncodeFileSections(FileName, Name, TextBuffer, Pos, 1, Cancelled);
}

std::int64_t TUUEncoder::UUEncodeFileSections(const std::string& FileName, const std::string& Name,
                                              TTextBuffer* TextBuffer, std::int64_t Pos,
                                              std::int64_t Sections, bool& Cancelled) {
    this->TextBuffer = TextBuffer;
    InsertPos = Pos;
    SectionNo = 1;
    const TScopeExit Clear([this] { this->TextBuffer = nullptr; });
    DemandEditable(TextBuffer);
    TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);

    // No section may be left without data lines: its checksum would repeat the last one's.
    const std::int64_t Lines = (File.GetSize() + LineBytes - 1) / LineBytes;
    Sections = max(1, min(Sections, Lines));
    const std::int64_t LinesPerSection = max(1, (Lines + Sections - 1) / Sections);
    Sections = max(1, (Lines + LinesPerSection - 1) / LinesPerSection);
    std::int64_t Count = StartEncode(Name);
    for (std::int64_t S = 1; S < Sections && !Cancelled; ++S) {
        Count += EncodeStream(&File, Cancelled, LinesPerSection * LineBytes);
        Count += EndSection();
        Count += StartSection(Name);
    }
    Count += EncodeStream(&File, Cancelled);
    return Count + EndEncode();
}

std::int64_t TUUEncoder::StartEncode(const std::string& Name) {
    FileSum->Clear();
    const std::int64_t Count = StartSection(Name);
    return Count + InsertLine("begin 644 " + TextName(Name));
}

std::int64_t TUUEncoder::StartSection(const std::string& Name) {
    const std::int64_t Count =
        InsertLine("Section " + std::to_string(SectionNo) + " of " + TextName(Name));
    SectionSum->Clear();
    return Count;
}

void TUUEncoder::EncodeLine(const std::uint8_t* Alphabet, const std::uint8_t* Data,
                            std::string& Line, std::uint16_t Count, std::uint16_t& Index) {
    const int N = Count > Index ? static_cast<int>(min(LineBytes, Count - Index)) : 0;
    const int Groups = (N + 2) / 3;
    Line.resize(static_cast<std::size_t>(1 + 4 * Groups));
    char* Out = Line.data();
    *Out++ = static_cast<char>(Alphabet[N]);
    const std::uint8_t* P = Data + Index;
    for (int G = 0; G < Groups; ++G, P += 3) {
        const int Left = N - 3 * G;
        const std::uint8_t B1 = P[0];
        const std::uint8_t B2 = Left > 1 ? P[1] : 0;
        const std::uint8_t B3 = Left > 2 ? P[2] : 0;
        *Out++ = static_cast<char>(Alphabet[B1 >> 2]);
        *Out++ = static_cast<char>(Alphabet[((B1 & 3) << 4) | (B2 >> 4)]);
        *Out++ = static_cast<char>(Alphabet[((B2 & 15) << 2) | (B3 >> 6)]);
        *Out++ = static_cast<char>(Alphabet[B3 & 63]);
    }
    Index = static_cast<std::uint16_t>(Index + N);
}

std::int64_t TUUEncoder::EncodeStream(TStream* Stream, bool& Cancelled, std::int64_t MaxBytes) {
    std::vector<std::uint8_t> Block(BlockBytes);
    std::string Line;
    std::string Text;
    Text.reserve(BlockBytes / LineBytes * 64);
    std::int64_t Count = 0;
    std::int64_t Left = MaxBytes < 0 ? -1 : MaxBytes;
    while (!Cancelled && Left != 0) {
        const std::int64_t Want = Left < 0 ? BlockBytes : min(Left, BlockBytes);
        const std::int64_t Got = Stream->Read(Block.data(), Want);
        if (Got <= 0)
            break;
        if (Left > 0)
            Left -= Got;
        const auto N = static_cast<std::uint16_t>(Got);
        FileSum->AddBuffer(Block.data(), N);
        // The block's lines go in with one insertion: a container keeps one piece per block.
        Text.clear();
        for (std::uint16_t Index = 0; Index < N;) {
            EncodeLine(EncodeAlphabet.data(), Block.data(), Line, N, Index);
            SectionSum->AddLine(Line);
            Text += Line;
            Text += CrLf;
        }
        Count += InsertText(Text);
        if (OnBlockEncode)
            OnBlockEncode(this, FileSum->GetSize(), Cancelled);
    }
    return Count;
}

std::int64_t TUUEncoder::EndEncode() {
    std::int64_t Count = InsertLine(std::string(1, static_cast<char>(EncodeAlphabet[0])));
    Count += InsertLine("end");
    const std::string Range = SectionNo == 1 ? " section (from \"begin\" to \"end\")"
                                             : " section from first encoded line to \"end\"";
    Count += InsertLine("sum -r/size " + SectionSum->GetSum() + Range);
    return Count + InsertLine("sum -r/size " + FileSum->GetSum() + " entire input file");
}

std::int64_t TUUEncoder::EndSection() {
    const std::string Range = SectionNo == 1 ? " section from \"begin\" to last line encoded"
                                             : " section from first to last line encoded";
    const std::int64_t Count = InsertLine("sum -r/size " + SectionSum->GetSum() + Range);
    ++SectionNo;
    return Count;
}

std::int64_t TUUEncoder::InsertLine(const std::string& S) {
    SectionSum->AddLine(S);
    return InsertText(S + CrLf);
}

std::int64_t TUUEncoder::InsertText(const std::string& Text) {
    DemandEditable(TextBuffer);
    const auto Count = static_cast<std::int64_t>(Text.size());
    TextBuffer->Insert(Text.data(), InsertPos, Count);
    InsertPos += Count;
    return Count;
}

} // namespace kestrel
