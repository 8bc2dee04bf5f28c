// TUUDecoder: the line reader, the state machine over the lines and the output files.
#include "uuencode/uu_decoder.h"

#include "host/safe_save.h"
#include "host/scope_guard.h"
#include "host/sysutils.h"
#include "macros/macros.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

namespace {

constexpr std::size_t PendingLimit = 64 * 1024;
constexpr std::int64_t LongLineReport = 1 << 20; // progress within a long line, in bytes

bool StartsWith(const std::string& S, std::string_view Prefix) {
    return S.size() >= Prefix.size() && S.compare(0, Prefix.size(), Prefix) == 0;
}

// The space-delimited words of S: leading spaces dropped, each word running to the next space.
std::vector<std::string> Words(const std::string& S, std::size_t Max) {
    std::vector<std::string> Result;
    std::size_t I = 0;
    while (Result.size() < Max) {
        while (I < S.size() && S[I] == ' ')
            ++I;
        if (I == S.size())
            break;
        const std::size_t End = std::min(S.find(' ', I), S.size());
        Result.push_back(S.substr(I, End - I));
        I = End;
    }
    return Result;
}

} // namespace

TUUDecoder::TUUDecoder(TComponent* AOwner) : TUUBase(AOwner) {}

TUUDecoder::~TUUDecoder() {
    DiscardOutput();
}

// ---- the line reader -------------------------------------------------------------------------

bool TUUDecoder::ReadLine(std::string& Line, std::int64_t& Used, std::int64_t Done, bool& Cancel) {
    const std::int64_t Size = Buffer->GetTextSize();
    if (ReadPos >= Size)
        return false;
    Line.clear();
    const std::int64_t Start = ReadPos;
    std::int64_t NextReport = Start + LongLineReport;
    bool Ended = false;
    while (ReadPos < Size) {
        const std::uint8_t* P = Buffer->GetText(ReadPos);
        const std::int64_t Avail = min(Buffer->GetValidEnd() - P + 1, Size - ReadPos);
        if (Avail <= 0)
            break; // a container that shows no bytes here: end the text rather than spin
        const auto* Lf =
            static_cast<const std::uint8_t*>(std::memchr(P, '\n', static_cast<std::size_t>(Avail)));
        const std::int64_t Take = Lf != nullptr ? Lf - P : Avail;
        const std::int64_t Keep = min(Take, MaxLineLength - static_cast<std::int64_t>(Line.size()));
        if (Keep > 0)
            Line.append(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Keep));
        ReadPos += Take;
        if (Lf != nullptr) {
            ++ReadPos;
            Ended = true;
            break;
        }
        if (ReadPos >= NextReport && OnBlockDecode) {
            OnBlockDecode(this, Done + (ReadPos - Start), Cancel);
            if (Cancel)
                return false;
            NextReport = ReadPos + LongLineReport;
        }
    }
    if (Ended && !Line.empty() && Line.back() == '\r' &&
        static_cast<std::int64_t>(Line.size()) == ReadPos - 1 - Start)
        Line.pop_back();
    Used = ReadPos - Start;
    return true;
}

// ---- decoding --------------------------------------------------------------------------------

TUUErrors TUUDecoder::DecodeLine(const std::uint8_t* Table, std::string_view Line,
                                 std::uint8_t* Dest, std::uint16_t Capacity, std::uint16_t& Index) {
    if (Line.empty())
        return uuLineError;
    const int N = Table[static_cast<std::uint8_t>(Line[0])];
    if (N == 255)
        return uuBadCharacter;
    if (4 * ((static_cast<std::size_t>(N) + 2) / 3) > Line.size())
        return uuLineError;
    if (Index > Capacity || N > Capacity - Index)
        return uuNoSpace;
    // A character missing at the end of the line counts as invalid.
    const auto Char = [&](std::size_t I, int& V) {
        if (I >= Line.size())
            return false;
        V = Table[static_cast<std::uint8_t>(Line[I])];
        return V != 255;
    };
    std::uint8_t* Out = Dest + Index;
    int Made = 0;
    for (std::size_t P = 1; Made < N; P += 4) {
        int C1 = 0, C2 = 0, C3 = 0, C4 = 0;
        if (!Char(P, C1) || !Char(P + 1, C2))
            return uuBadCharacter;
        Out[Made++] = static_cast<std::uint8_t>((C1 << 2) | (C2 >> 4));
        if (Made < N) {
            if (!Char(P + 2, C3))
                return uuBadCharacter;
            Out[Made++] = static_cast<std::uint8_t>(((C2 & 15) << 4) | (C3 >> 2));
        }
        if (Made < N) {
            if (!Char(P + 3, C4))
                return uuBadCharacter;
            Out[Made++] = static_cast<std::uint8_t>(((C3 & 3) << 6) | C4);
        }
    }
    Index = static_cast<std::uint16_t>(Index + N);
    return uuNoError;
}

std::string TUUDecoder::SafeFileName(const std::string& Name) {
    const std::size_t Sep = Name.find_last_of("/\\");
    std::string Result = Sep == std::string::npos ? Name : Name.substr(Sep + 1);
    if (Result.empty() || Result == "." || Result == ".." || Result.size() > MaxNameLength)
        return std::string();
    for (const char C : Result)
        if (static_cast<unsigned char>(C) < 32 || C == 127)
            return std::string();
    return Result;
}

bool TUUDecoder::SumMatches(const std::string& Line, const TSumCheck& Sum) {
    const std::vector<std::string> W = Words(Line, 3);
    return W.size() == 3 && W[2] == Sum.GetSum();
}

TUdStates TUUDecoder::StartDecode(const std::string& Line) {
    if (!StartsWith(Line, "begin "))
        return State;
    if (State != udInit) {
        FinishOutput();
        DoEndDecode();
    }
    const std::vector<std::string> W = Words(Line, 3);
    const bool ModeOk =
        W.size() >= 2 && !W[1].empty() && W[1].find_first_not_of("0123456789") == std::string::npos;
    const std::string Name = W.size() == 3 ? SafeFileName(W[2]) : std::string();
    State = udInit;
    if (!ModeOk || Name.empty())
        return State;

    FileName = Name;
    bool Cancel = false;
    if (OnStartDecode)
        OnStartDecode(this, FileName, Cancel);
    if (Cancel || FileName.empty())
        return State;
    if (!Directory.empty() && FileName[0] != PathDelim)
        FileName = Directory + (Directory.back() == PathDelim ? "" : "/") + FileName;

    FinishOutput();
    const bool Exists = FileExists(FileName) || DirectoryExists(FileName);
    if (Exists && (!OnStartDecode || DirectoryExists(FileName))) {
        // Nothing approved replacing it: the file is skipped and the skip reported.
        Error = uuUserError;
        DoEndDecode();
        return State;
    }
    ReplaceExisting = Exists;
    OutputTemp = SafeSaveTempName(FileName);
    Output = std::make_unique<TNewFileStream>(OutputTemp);
    Error = uuNoError;
    SectionSum->Clear();
    SectionSum->AddLine(Line);
    FileSum->Clear();
    State = udDecoding;
    return State;
}

TUdStates TUUDecoder::DecodeNextLine(const std::string& Line) {
    if (Line.empty())
        return State;
    std::uint8_t Bytes[LineCapacity];
    std::uint16_t Count = 0;
    if (DecodeLine(DecodeTable.data(), Line, Bytes, LineCapacity, Count) == uuNoError) {
        // The first data line after a checked section starts the next section's sum.
        if (State == udSectionChecked)
            SectionSum->Clear();
        TSumCheck::AddBufferAndLine(*FileSum, Bytes, Count, *SectionSum, Line);
        WriteOutput(Bytes, Count);
        State = udDecoding;
    } else if (StartsWith(Line, "end")) {
        SectionSum->AddLine(Line);
        State = udEnd;
    } else if (StartsWith(Line, "sum ")) {
        if (!SumMatches(Line, *SectionSum))
            Error = uuSectionSumCheck;
        State = udSectionChecked;
    } else if (StartsWith(Line, "begin ")) {
        StartDecode(Line);
    } else if (State != udSectionChecked) {
        State = udSectionBreak;
    }
    return State;
}

TUdStates TUUDecoder::EndDecode(const std::string& Line) {
    if (StartsWith(Line, "sum ")) {
        if (!SumMatches(Line, *SectionSum))
            Error = uuSectionSumCheck;
        State = udEndSectionChecked;
    } else if (StartsWith(Line, "begin ")) {
        StartDecode(Line);
    } else {
        SectionSum->AddLine(Line);
    }
    return State;
}

TUdStates TUUDecoder::CheckFileChecksum(const std::string& Line) {
    if (StartsWith(Line, "sum ")) {
        if (!SumMatches(Line, *FileSum))
            Error = uuFileSumCheck;
        State = udFileChecked;
        return State;
    }
    return StartDecode(Line);
}

bool TUUDecoder::UUDecode(TTextBuffer* Buffer, std::int64_t Pos) {
    State = udInit;
    Error = uuNoError;
    FileName.clear();
    if (Buffer == nullptr)
        return true;
    this->Buffer = Buffer;
    ReadPos = max(0, Pos);
    const TScopeExit Detach([this] { this->Buffer = nullptr; });
    const TScopeFail Fail([this] { DiscardOutput(); });

    std::int64_t Done = 0;
    bool Cancel = false;
    std::string Line;
    Line.reserve(128);
    std::int64_t Used = 0;
    while (!Cancel && ReadLine(Line, Used, Done, Cancel)) {
        Done += Used;
        switch (State) {
        case udInit:
        case udFileChecked:
            StartDecode(Line);
            break;
        case udDecoding:
        case udSectionBreak:
        case udSectionChecked:
            DecodeNextLine(Line);
            break;
        case udEnd:
            EndDecode(Line);
            break;
        case udEndSectionChecked:
            CheckFileChecksum(Line);
            break;
        case uuCancelled:
            break;
        }
        if (OnBlockDecode)
            OnBlockDecode(this, Done, Cancel);
    }

    const bool InProgress = Output != nullptr;
    if (!Cancel) {
        FinishOutput();
        if (State != udInit)
            DoEndDecode();
        return true;
    }
    // A file whose end line was seen is complete and kept; only an unfinished one goes.
    if (State == udEnd || State == udEndSectionChecked || State == udFileChecked) {
        FinishOutput();
        DoEndDecode();
        State = uuCancelled;
        return true;
    }
    State = uuCancelled;
    DiscardOutput();
    if (InProgress)
        DoEndDecode();
    return true;
}

void TUUDecoder::DoEndDecode() {
    if (OnEndDecode)
        OnEndDecode(this, State, Error, FileName);
}

// ---- output ----------------------------------------------------------------------------------

void TUUDecoder::WriteOutput(const std::uint8_t* Data, std::size_t Count) {
    if (Output == nullptr)
        return;
    Pending.insert(Pending.end(), Data, Data + Count);
    if (Pending.size() >= PendingLimit)
        FlushOutput();
}

void TUUDecoder::FlushOutput() {
    if (Output != nullptr && !Pending.empty())
        Output->WriteBuffer(Pending.data(), static_cast<std::int64_t>(Pending.size()));
    Pending.clear();
}

void TUUDecoder::FinishOutput() {
    if (Output == nullptr)
        return;
    FlushOutput();
    Output.reset();
    const bool Placed =
        ReplaceExisting ? ReplaceFile(OutputTemp, FileName) : RenameFile(OutputTemp, FileName);
    if (!Placed) {
        DiscardOutput();
        throw EFCreateError("Cannot create file \"" + FileName + "\". The name is taken");
    }
    OutputTemp.clear();
}

void TUUDecoder::DiscardOutput() noexcept {
    Pending.clear();
    Output.reset();
    if (!OutputTemp.empty())
        DeleteFile(OutputTemp);
    OutputTemp.clear();
}

} // namespace kestrel
