// TStrings and TStringList.
#include "host/strings.h"

#include "host/exceptions.h"
#include "host/streams.h"

#include <strings.h>

namespace kestrel {

std::vector<std::string> SplitLines(const std::string& Text) {
    std::vector<std::string> Lines;
    std::size_t Start = 0;
    while (Start < Text.size()) {
        const std::size_t Lf = Text.find('\n', Start);
        if (Lf == std::string::npos) {
            Lines.push_back(Text.substr(Start));
            break;
        }
        const std::size_t End = Lf > Start && Text[Lf - 1] == '\r' ? Lf - 1 : Lf;
        Lines.push_back(Text.substr(Start, End - Start));
        Start = Lf + 1;
    }
    return Lines;
}

// --- TStrings -------------------------------------------------------------------------------

void TStrings::Put(std::int64_t Index, const std::string& S) {
    Delete(Index);
    Insert(Index, S);
}

std::int64_t TStrings::Add(const std::string& S) {
    const std::int64_t Index = GetCount();
    Insert(Index, S);
    return Index;
}

void TStrings::AddStrings(TStrings* Strings) {
    const TUpdateScope Scope(*this);
    for (std::int64_t I = 0; I < Strings->GetCount(); ++I)
        Add(Strings->Get(I));
}

std::int64_t TStrings::IndexOf(const std::string& S) const {
    for (std::int64_t I = 0; I < GetCount(); ++I)
        if (strcasecmp(Get(I).c_str(), S.c_str()) == 0 && Get(I).size() == S.size())
            return I;
    return -1;
}

std::string TStrings::GetText() const {
    std::string Result;
    for (std::int64_t I = 0; I < GetCount(); ++I) {
        Result += Get(I);
        Result += "\r\n";
    }
    return Result;
}

void TStrings::SetText(const std::string& Text) {
    const TUpdateScope Scope(*this);
    Clear();
    for (const std::string& Line : SplitLines(Text))
        Add(Line);
}

void TStrings::LoadFromStream(TStream* Stream) {
    const std::int64_t Size = Stream->GetSize() - Stream->GetPosition();
    std::string Text(static_cast<std::size_t>(std::max<std::int64_t>(Size, 0)), '\0');
    Stream->ReadBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    SetText(Text);
}

void TStrings::SaveToStream(TStream* Stream) {
    const std::string Text = GetText();
    Stream->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
    TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&Stream);
}

void TStrings::SaveToFile(const std::string& FileName) {
    TFileStream Stream(FileName, fmCreate);
    SaveToStream(&Stream);
}

void TStrings::BeginUpdate() {
    if (FUpdateCount++ == 0)
        SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (--FUpdateCount == 0)
        SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
    auto* Strings = dynamic_cast<TStrings*>(Source);
    if (Strings == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    const TUpdateScope Scope(*this);
    Clear();
    AddStrings(Strings);
}

void TStrings::Error(const std::string& Message, std::int64_t Data) const {
    throw EListError(Message + " (" + std::to_string(Data) + ")");
}

// --- TStringList ----------------------------------------------------------------------------

void TStringList::CheckIndex(std::int64_t Index, std::int64_t Limit) const {
    if (Index < 0 || Index >= Limit)
        Error("List index out of bounds", Index);
}

std::string TStringList::Get(std::int64_t Index) const {
    CheckIndex(Index, GetCount());
    return FList[static_cast<std::size_t>(Index)];
}

void TStringList::Put(std::int64_t Index, const std::string& S) {
    CheckIndex(Index, GetCount());
    FList[static_cast<std::size_t>(Index)] = S;
}

void TStringList::Insert(std::int64_t Index, const std::string& S) {
    CheckIndex(Index, GetCount() + 1);
    FList.insert(FList.begin() + Index, S);
}

void TStringList::Delete(std::int64_t Index) {
    CheckIndex(Index, GetCount());
    FList.erase(FList.begin() + Index);
}

} // namespace kestrel
