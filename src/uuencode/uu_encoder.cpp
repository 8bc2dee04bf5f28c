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

namespace {

// Writes the data line of the N (0 .. 45) bytes at P to Out, which has room for 61 characters;
// returns the characters written.
std::size_t EncodeData(const std::uint8_t* Alphabet, const std::uint8_t* P, int N, char* Out) {
    char* const First = Out;
    *Out++ = static_cast<char>(Alphabet[N]);
    const auto Group = [&](std::uint8_t B1, std::uint8_t B2, std::uint8_t B3) {
        Out[0] = static_cast<char>(Alphabet[B1 >> 2]);
        Out[1] = static_cast<char>(Alphabet[((B1 & 3) << 4) | (B2 >> 4)]);
        Out[2] = static_cast<char>(Alphabet[((B2 & 15) << 2) | (B3 >> 6)]);
        Out[3] = static_cast<char>(Alphabet[B3 & 63]);
        Out += 4;
    };
    int Left = N;
    for (; Left >= 3; Left -= 3, P += 3)
        Group(P[0], P[1], P[2]);
    if (Left > 0) // the missing bytes of the last group are zeros
        Group(P[0], Left > 1 ? P[1] : 0, 0);
    return static_cast<std::size_t>(Out - First);
}

} // namespace

void TUUEncoder::EncodeLine(const std::uint8_t* Alphabet, const std::uint8_t* Data,
                            std::string& Line, std::uint16_t Count, std::uint16_t& Index) {
    const int N = Count > Index ? static_cast<int>(min(LineBytes, Count - Index)) : 0;
    Line.resize(1 + 4 * ((N + 2) / 3));
    EncodeData(Alphabet, Data + Index, N, Line.data());
    Index = static_cast<std::uint16_t>(Index + N);
}

std::int64_t TUUEncoder::EncodeStream(TStream* Stream, bool& Cancelled, std::int64_t MaxBytes) {
    // Read in runs of several blocks (fewer reads), encoded and reported block by block.
    constexpr std::int64_t RunBytes = 16 * BlockBytes;
    constexpr std::size_t LineRoom = 63; // 61 characters, CR, LF
    std::vector<std::uint8_t> Run(RunBytes);
    std::vector<char> Text(BlockBytes / LineBytes * LineRoom);
    std::int64_t Count = 0;
    std::int64_t Left = MaxBytes < 0 ? -1 : MaxBytes;
    while (!Cancelled && Left != 0) {
        const std::int64_t Want = Left < 0 ? RunBytes : min(Left, RunBytes);
        const std::int64_t Got = Stream->Read(Run.data(), Want);
        if (Got <= 0)
            break;
        if (Left > 0)
            Left -= Got;
        std::int64_t Done = 0;
        while (Done < Got && !Cancelled) {
            const auto N = static_cast<int>(min(BlockBytes, Got - Done));
            const std::uint8_t* Block = Run.data() + Done;
            FileSum->AddBuffer(Block, static_cast<std::uint16_t>(N));
            // The block's lines go in with one insertion: a container keeps one piece per block.
            std::size_t Used = 0;
            for (int Index = 0; Index < N; Index += LineBytes) {
                char* const Line = Text.data() + Used;
                const std::size_t Length =
                    EncodeData(EncodeAlphabet.data(), Block + Index,
                               static_cast<int>(min(LineBytes, N - Index)), Line);
                SectionSum->AddLine(std::string_view(Line, Length));
                Line[Length] = '\r';
                Line[Length + 1] = '\n';
                Used += Length + 2;
            }
            Count += InsertText(Text.data(), static_cast<std::int64_t>(Used));
            Done += N;
            if (OnBlockEncode)
                OnBlockEncode(this, FileSum->GetSize(), Cancelled);
        }
        if (Done < Got) // cancelled: what was read but not encoded stays in the stream
            Stream->Seek(Done - Got, soFromCurrent);
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
    const std::string Line = S + CrLf;
    return InsertText(Line.data(), static_cast<std::int64_t>(Line.size()));
}

std::int64_t TUUEncoder::InsertText(const char* Text, std::int64_t Count) {
    DemandEditable(TextBuffer);
    TextBuffer->Insert(Text, InsertPos, Count);
    InsertPos += Count;
    return Count;
}

} // namespace kestrel
