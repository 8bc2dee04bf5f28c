// Edit sessions on a TEditStream held to a std::string model with its own undo history.
#include "support/edit_session.h"

#include "support/testdata/generated_text.h"

#include <algorithm>
#include <exception>
#include <sstream>

namespace kestrel::test {

namespace {

std::unique_ptr<TMemoryStream> SourceOf(const std::string& Text) {
    auto Stream = std::make_unique<TMemoryStream>();
    Stream->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    return Stream;
}

/// The bytes of a segment list, read without moving any position.
std::string ListBytes(const TSegmentList& List) {
    std::string Result;
    for (const TStreamSegment* S = List.GetHead(); S != nullptr; S = S->Next) {
        const std::size_t At = Result.size();
        Result.resize(At + static_cast<std::size_t>(S->Size));
        S->Read(Result.data() + At, 0, S->Size);
    }
    return Result;
}

/// Bytes of List's segments that live in Store.
std::int64_t StoredBytes(const TSegmentList& List, const TStream* Store) {
    std::int64_t Result = 0;
    for (const TStreamSegment* S = List.GetHead(); S != nullptr; S = S->Next)
        if (S->Stream == Store)
            Result += S->Size;
    return Result;
}

} // namespace

// ---- choices ---------------------------------------------------------------------------------

std::uint64_t TByteChoices::Below(std::uint64_t Bound) {
    std::uint64_t Value = 0;
    int Shift = 0;
    for (std::uint64_t Range = Bound - 1; Range > 0; Range >>= 8, Shift += 8) {
        if (FAt == FSize) {
            FDry = true;
            return 0;
        }
        Value |= static_cast<std::uint64_t>(FData[FAt++]) << Shift;
    }
    return Value % Bound;
}

// ---- the model -------------------------------------------------------------------------------

void TEditModel::MoveMarks(std::int64_t Pos, std::int64_t Delta) {
    for (std::int64_t& M : Marks) {
        if (M < Pos)
            continue;
        if (Delta < 0 && M < Pos - Delta)
            M = Pos;
        else
            M += Delta;
    }
}

void TEditModel::Insert(std::int64_t Pos, const std::string& Bytes) {
    Text.insert(static_cast<std::size_t>(Pos), Bytes);
    MoveMarks(Pos, static_cast<std::int64_t>(Bytes.size()));
}

void TEditModel::Delete(std::int64_t Pos, std::int64_t Count) {
    Text.erase(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
    MoveMarks(Pos, -Count);
}

void TEditModel::TrimUndo() {
    while (static_cast<std::int64_t>(Undo.size()) > MaxUndoLevels)
        Undo.pop_front();
}

void TEditModel::TrimRedo() {
    while (static_cast<std::int64_t>(Redo.size()) > MaxUndoLevels)
        Redo.pop_front();
}

// ---- the session -----------------------------------------------------------------------------

TEditSession::TEditSession(TChoiceSource& AChoices, std::uint16_t BufSize,
                           TEditSessionLimits Limits)
    : Choices(AChoices), FBufSize(BufSize), FLimits(Limits) {
    Stream.SetBufSize(BufSize);
    Stream.SetOnSaveUndo(
        [this](std::int64_t&, std::int64_t&, std::int64_t&, TSelModes&, bool& Linked) {
            Linked = true; // every command is one transaction, closed by ClearLastUndoLink
            ++Pushes;
        });
    Stream.SetOnBeforeUndo([this](std::int64_t Pos) {
        UndoPos = Pos;
        UndoSize = Stream.GetTextSize();
    });
    Stream.SetOnAfterUndo(
        [this](TObject*) { Model.MoveMarks(UndoPos, Stream.GetTextSize() - UndoSize); });
    Stream.SetOnWriteProtect([](TObject*) {}); // refused edits change nothing, raise nothing
    Attach(RandomText(Pick(0, FLimits.SourceText)));
}

TEditSession::~TEditSession() = default;

std::string TEditSession::Run(std::int64_t Ops) {
    try {
        for (Step = 0; Step < Ops && !Choices.Exhausted(); Step += StepOps) {
            StepOps = 1;
            OneCommand();
            if (std::string Error = Check(); !Error.empty())
                return Describe(Error);
        }
    } catch (const std::exception& Error) {
        return Describe(std::string("exception: ") + Error.what());
    }
    return "";
}

// ---- random choices --------------------------------------------------------------------------

std::int64_t TEditSession::Pick(std::int64_t Low, std::int64_t High) {
    return Low +
           static_cast<std::int64_t>(Choices.Below(static_cast<std::uint64_t>(High - Low + 1)));
}

std::string TEditSession::RandomText(std::int64_t Length) {
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyz  \r\n\t.,0123456789\xE9\xC4";
    std::string S(static_cast<std::size_t>(Length), ' ');
    for (char& Ch : S)
        Ch = Alphabet[Pick(0, sizeof Alphabet - 2)];
    return S;
}

/// A position for the first edit of a command that must start a record of its own: not where
/// the last edit left the pending position, which would continue the last record.
bool TEditSession::FreshPos(std::int64_t& Pos, std::int64_t Low, std::int64_t High) {
    if (Low > High)
        return false;
    Pos = Pick(Low, High);
    if (Pos == Stream.GetEditPos())
        Pos = Pos < High ? Pos + 1 : Pos - 1;
    return Pos >= Low && Pos <= High && Pos != Stream.GetEditPos();
}

void TEditSession::Log(const std::string& What) {
    Recent.push_back(std::to_string(Step) + ": " + What);
    if (Recent.size() > 12)
        Recent.pop_front();
}

// ---- the operations, on the stream and the model ---------------------------------------------

void TEditSession::Insert(std::int64_t Pos, std::string Bytes) {
    Log("Insert(" + std::to_string(Pos) + ", " + std::to_string(Bytes.size()) + ")");
    Stream.Insert(Bytes.data(), Pos, static_cast<std::int64_t>(Bytes.size()));
    if (Stream.GetReadOnly())
        return;
    if (Model.MaxTextSize > 0)
        Bytes.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(
            Model.MaxTextSize - Size(), 0, static_cast<std::int64_t>(Bytes.size()))));
    if (!Bytes.empty()) {
        Model.Insert(Pos, Bytes);
        Edited = true;
    }
}

void TEditSession::Delete(std::int64_t Pos, std::int64_t Count) {
    Log("Delete(" + std::to_string(Pos) + ", " + std::to_string(Count) + ")");
    Stream.Delete(Pos, Count);
    if (Stream.GetReadOnly() || Count == 0)
        return;
    Model.Delete(Pos, Count);
    Edited = true;
}

void TEditSession::Replace(std::int64_t Pos, char Ch) {
    Log("ReplaceChar(" + std::to_string(Pos) + ")");
    Stream.ReplaceChar(Pos, static_cast<std::uint8_t>(Ch));
    if (Stream.GetReadOnly())
        return;
    Model.Text[static_cast<std::size_t>(Pos)] = Ch;
    Edited = true;
}

void TEditSession::Attach(const std::string& Text) {
    Log("SetSourceStream(" + std::to_string(Text.size()) + ")");
    if (Model.MaxTextSize > 0 && static_cast<std::int64_t>(Text.size()) > Model.MaxTextSize) {
        try {
            Stream.SetSourceStream(SourceOf(Text));
            Failure = "an over-size source was accepted";
        } catch (const EMaxText&) {
        }
        return;
    }
    if (Chance(20)) {
        auto Generated = std::make_unique<testdata::TGeneratedTextStream>(
            static_cast<std::int64_t>(Text.size()),
            testdata::TGeneratedTextOptions{.CrLf = Chance(50)});
        Model.Text = Generated->GetText().Text(0, Generated->GetSize());
        Stream.SetSourceStream(std::move(Generated));
    } else {
        Model.Text = Text;
        Stream.SetSourceStream(SourceOf(Text));
    }
    Model.Undo.clear();
    Model.Redo.clear();
}

/// One user command: a run of edits that forms one transaction, or an undo, a redo, reads, or a
/// change of settings.
void TEditSession::OneCommand() {
    Pushes = 0;
    Edited = false;
    const std::string Before = Model.Text;
    const std::int64_t Kind = Pick(0, 99);
    const bool Grow = Size() < FLimits.Grow;
    if (Kind < 14) {
        // A run of typing (it may continue the last record).
        std::int64_t Caret = Pick(0, Size());
        const std::int64_t Count = Pick(1, Grow ? 80 : 20);
        for (std::int64_t I = 0; I < Count; ++I) {
            const std::int64_t Old = Size();
            Insert(Caret, RandomText(1));
            Caret += Size() - Old; // the caret stays when nothing could be inserted
        }
        StepOps = Count;
    } else if (Kind < 24) {
        // Backspacing from a caret; the first deletion is just before it.
        std::int64_t First;
        if (!FreshPos(First, 0, Size() - 1))
            return;
        const std::int64_t Caret = First + 1;
        const std::int64_t Count = Pick(1, std::min<std::int64_t>(Caret, Grow ? 15 : 60));
        for (std::int64_t I = 1; I <= Count; ++I)
            Delete(Caret - I, 1);
        StepOps = Count;
    } else if (Kind < 32) {
        // Forward deletes at one place (they may continue the last record).
        if (Size() == 0)
            return;
        const std::int64_t Pos = Pick(0, Size() - 1);
        const std::int64_t Count = Pick(1, std::min<std::int64_t>(Size() - Pos, Grow ? 15 : 60));
        for (std::int64_t I = 0; I < Count; ++I)
            Delete(Pos, 1);
        StepOps = Count;
    } else if (Kind < 42) {
        // An overwrite run.
        std::int64_t Pos;
        if (!FreshPos(Pos, 0, Size() - 1))
            return;
        const std::int64_t Count = Pick(1, std::min<std::int64_t>(Size() - Pos, 70));
        for (std::int64_t I = 0; I < Count; ++I)
            Replace(Pos + I, RandomText(1)[0]);
        StepOps = Count;
    } else if (Kind < 56) {
        // Scattered edits made as one transaction (a replace, a paste, a reflow ...).
        const std::int64_t Count = Pick(1, 5);
        for (std::int64_t I = 0; I < Count; ++I) {
            std::int64_t Pos;
            const std::int64_t Op = Pick(0, 2);
            if (!FreshPos(Pos, 0, Op == 0 ? Size() : Size() - 1)) {
                if (I == 0)
                    return;
                Pos = Pick(0, Op == 0 ? Size() : std::max<std::int64_t>(0, Size() - 1));
                if (Op != 0 && Size() == 0)
                    continue;
            }
            if (Op == 0)
                Insert(Pos, RandomText(Chance(15) ? Pick(FBufSize / 2, FBufSize * 2 + 10)
                                                  : Pick(1, 12)));
            else if (Op == 1)
                Delete(Pos, Pick(Grow ? 0 : 1,
                                 std::min<std::int64_t>(Size() - Pos, Chance(10) ? 2000 : 30)));
            else
                Replace(Pos, RandomText(1)[0]);
        }
        StepOps = Count;
    } else if (Kind < 66) {
        UndoOrRedo(true);
        return;
    } else if (Kind < 68) {
        UndoAllRedoAll();
        return;
    } else if (Kind < 76) {
        UndoOrRedo(false);
        return;
    } else if (Kind < 90) {
        RandomReads();
        return;
    } else {
        Settings();
        return;
    }
    EndCommand(Before);
}

/// Closes the command's transaction and updates the model's history.
void TEditSession::EndCommand(const std::string& Before) {
    if (Chance(50)) {
        // A read in between: it may slide the window, which saves the pending edit.
        const std::int64_t Pos = Pick(0, Size());
        if (Pos < Size() && *Stream.GetText(Pos) != static_cast<std::uint8_t>(
                                                        Model.Text[static_cast<std::size_t>(Pos)]))
            Failure = "byte read at " + std::to_string(Pos) + " differs";
    }
    Stream.SaveChanges();
    Stream.ClearLastUndoLink();
    if (!Edited)
        return;
    Model.Redo.clear();
    if (Model.MaxUndoLevels == 0)
        return;
    if (Pushes > 0) {
        Model.Undo.push_back(Before);
        Model.TrimUndo();
    }
    // Without a new record the command continued the last transaction: its snapshot stands.
}

void TEditSession::UndoOrRedo(bool IsUndo) {
    if (Times == 0)
        Times = Chance(20) ? Pick(2, 12) : 1;
    for (std::int64_t I = 0; I < Times; ++I) {
        std::deque<std::string>& From = IsUndo ? Model.Undo : Model.Redo;
        std::deque<std::string>& To = IsUndo ? Model.Redo : Model.Undo;
        Log(IsUndo ? "Undo" : "Redo");
        const std::string Old = Model.Text;
        const std::int64_t Lowest = IsUndo ? Stream.Undo() : Stream.Redo();
        if (From.empty() || Stream.GetReadOnly())
            continue;
        To.push_back(Model.Text);
        Model.Text = From.back();
        From.pop_back();
        if (IsUndo) {
            Model.TrimRedo();
        } else if (Model.MaxUndoLevels == 0) {
            Model.Undo.clear();
        } else {
            Model.TrimUndo();
        }
        // The result is the lowest position that changed: nothing before it differs.
        const std::size_t Same = static_cast<std::size_t>(
            std::mismatch(Old.begin(), Old.end(), Model.Text.begin(), Model.Text.end()).first -
            Old.begin());
        if (Old != Model.Text && Lowest > static_cast<std::int64_t>(Same))
            Failure = "Undo/Redo reported " + std::to_string(Lowest) + " but the text changed at " +
                      std::to_string(Same);
    }
    StepOps = Times;
    Times = 0;
}

/// Undoes every transaction kept, then redoes as many: the text is the edited one again.
void TEditSession::UndoAllRedoAll() {
    const std::string Edited = Model.Text;
    const auto Count = static_cast<std::int64_t>(Model.Undo.size());
    if (Count == 0)
        return;
    Log("undo all (" + std::to_string(Count) + "), redo as many");
    for (bool IsUndo : {true, false}) {
        Times = Count;
        UndoOrRedo(IsUndo);
    }
    if (Failure.empty() && !Stream.GetReadOnly() && HeldText() != Edited)
        Failure = "undoing all and redoing all lost edits";
    StepOps = 2;
}

void TEditSession::RandomReads() {
    const std::int64_t Times = Pick(1, 4);
    for (std::int64_t I = 0; I < Times && Failure.empty(); ++I) {
        const std::int64_t Pos = Pick(0, Size());
        const std::int64_t Count = Pick(0, std::min<std::int64_t>(Size() - Pos, 3 * FBufSize));
        const std::string Expected =
            Model.Text.substr(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
        switch (Pick(0, 2)) {
        case 0: {
            Log("CopyText(" + std::to_string(Pos) + ", " + std::to_string(Count) + ")");
            std::string Got(static_cast<std::size_t>(Count), '\0');
            Got.resize(static_cast<std::size_t>(Stream.CopyText(Got.data(), Pos, Count)));
            if (Got != Expected)
                Failure = "CopyText differs";
            break;
        }
        case 1: {
            Log("CopyToStream(" + std::to_string(Pos) + ", " + std::to_string(Count) + ")");
            TMemoryStream Out;
            Stream.CopyToStream(&Out, Pos, Count);
            if (std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                            static_cast<std::size_t>(Out.GetSize())) != Expected)
                Failure = "CopyToStream differs";
            break;
        }
        default: {
            Log("walk back from " + std::to_string(Pos + Count));
            for (std::int64_t P = Pos + Count - 1; P >= Pos; --P)
                if (*Stream.GetText(P) !=
                    static_cast<std::uint8_t>(Model.Text[static_cast<std::size_t>(P)])) {
                    Failure = "byte at " + std::to_string(P) + " differs walking back";
                    break;
                }
        }
        }
    }
    StepOps = Times;
}

void TEditSession::Settings() {
    switch (Pick(0, 7)) {
    case 0: {
        const std::int64_t Levels = Chance(25) ? 0 : Chance(50) ? Pick(1, 12) : Pick(13, 60);
        Log("SetMaxUndoLevels(" + std::to_string(Levels) + ")");
        Stream.SetMaxUndoLevels(Levels);
        Model.MaxUndoLevels = Levels;
        if (Levels == 0) {
            Model.Undo.clear();
            Model.Redo.clear();
        }
        Model.TrimUndo();
        Model.TrimRedo();
        break;
    }
    case 1: {
        const std::int64_t Max = Chance(50) ? 0 : Size() + Pick(0, 100);
        Log("SetMaxTextSize(" + std::to_string(Max) + ")");
        Stream.SetMaxTextSize(Max);
        Model.MaxTextSize = Max;
        break;
    }
    case 2:
    case 3: {
        const std::int64_t Pos = Pick(0, Size());
        Log("GetBookMarkHandle(" + std::to_string(Pos) + ")");
        if (Stream.GetBookMarkHandle(Pos) != static_cast<std::int64_t>(Model.Marks.size()))
            Failure = "unexpected bookmark handle";
        Model.Marks.push_back(Pos);
        break;
    }
    case 4: {
        if (Model.Marks.empty())
            break;
        const std::int64_t Handle = Pick(0, static_cast<std::int64_t>(Model.Marks.size()) - 1);
        Log("DeleteBookMark(" + std::to_string(Handle) + ")");
        Stream.DeleteBookMark(Handle);
        Model.Marks[static_cast<std::size_t>(Handle)] = -1;
        while (!Model.Marks.empty() && Model.Marks.back() == -1)
            Model.Marks.pop_back();
        break;
    }
    case 5: {
        const auto Size = static_cast<std::uint16_t>(Chance(50) ? FBufSize : Pick(16, 4096));
        Log("SetBufSize(" + std::to_string(Size) + ")");
        Stream.SetBufSize(Size);
        break;
    }
    case 6:
        Log(Stream.GetReadOnly() ? "SetReadOnly(false)" : "SetReadOnly(true)");
        Stream.SetReadOnly(!Stream.GetReadOnly() && Chance(50));
        break;
    default:
        if (Chance(20))
            Attach(RandomText(Pick(0, FLimits.SourceText)));
    }
}

// ---- the checks ------------------------------------------------------------------------------

/// The text as the stream holds it, built from the segments and the pending edit without reading
/// through the window (which would save the pending edit).
std::string TEditSession::HeldText() {
    const std::string Saved = ListBytes(Stream.GetSegments());
    const std::int64_t PI = Stream.GetPendingInsert();
    const std::int64_t PD = Stream.GetPendingDelete();
    if (PI == 0 && PD == 0)
        return Saved;
    const std::int64_t E = Stream.GetEditPos();
    const std::uint8_t* Pending = Stream.GetValidStart() + (E - Stream.GetBufStart());
    return Saved.substr(0, static_cast<std::size_t>(E)) +
           std::string(reinterpret_cast<const char*>(Pending), static_cast<std::size_t>(PI)) +
           Saved.substr(static_cast<std::size_t>(E + PD));
}

std::string TEditSession::Check() {
    if (!Failure.empty())
        return Failure;
    if (Stream.GetTextSize() != Size())
        return "TextSize " + std::to_string(Stream.GetTextSize()) + ", expected " +
               std::to_string(Size());
    if (HeldText() != Model.Text)
        return "text differs";
    const std::int64_t Start = Stream.GetBufStart();
    const std::int64_t Count = Stream.GetBufCount();
    if (Count > 0 &&
        Model.Text.compare(static_cast<std::size_t>(Start), static_cast<std::size_t>(Count),
                           reinterpret_cast<const char*>(Stream.GetValidStart()),
                           static_cast<std::size_t>(Count)) != 0)
        return "window [" + std::to_string(Start) + ", +" + std::to_string(Count) + ") differs";
    if (Stream.GetValidEnd() != Stream.GetValidStart() + Count - 1)
        return "stale valid range";
    if (!Stream.GetSegments().IsPositionConsistent())
        return "segment list inconsistent";
    if (Stream.GetUndoCount() != static_cast<std::int64_t>(Model.Undo.size()))
        return "UndoCount " + std::to_string(Stream.GetUndoCount()) + ", expected " +
               std::to_string(Model.Undo.size());
    if (Stream.GetRedoCount() != static_cast<std::int64_t>(Model.Redo.size()))
        return "RedoCount " + std::to_string(Stream.GetRedoCount()) + ", expected " +
               std::to_string(Model.Redo.size());
    for (std::size_t I = 0; I < Model.Marks.size(); ++I)
        if (Stream.GetBookMark(static_cast<std::int64_t>(I)) != Model.Marks[I])
            return "bookmark " + std::to_string(I) + " at " +
                   std::to_string(Stream.GetBookMark(static_cast<std::int64_t>(I))) +
                   ", expected " + std::to_string(Model.Marks[I]);
    if (Stream.GetBookMarkCount() != static_cast<std::int64_t>(Model.Marks.size()))
        return "bookmark count differs";
    // Every inserted byte is in exactly one place: the text, an undo or redo record, or free.
    const TMemoryBuffer& Store = Stream.GetInsertedText();
    std::int64_t InUse = StoredBytes(Stream.GetSegments(), Store.GetStream());
    for (const TUndoList* List : {&Stream.GetUndoList(), &Stream.GetRedoList()})
        for (std::int64_t I = 0; I < List->GetCount(); ++I)
            InUse += StoredBytes(*List->GetItem(I), Store.GetStream());
    if (!Store.IsConsistent() || InUse + Store.GetSize() != Store.GetTop())
        return "inserted-text store: " + std::to_string(InUse) + " in use + " +
               std::to_string(Store.GetSize()) + " free != top " + std::to_string(Store.GetTop());
    return "";
}

std::string TEditSession::Describe(const std::string& Error) const {
    std::ostringstream Out;
    Out << "buffer " << FBufSize << ", operation " << Step << ": " << Error << "\nlast operations:";
    for (const std::string& Line : Recent)
        Out << "\n  " << Line;
    return Out.str();
}

} // namespace kestrel::test
