// Edit sessions on a TEditStream held to a std::string model with its own undo history: typing,
// backspacing, deleting, overwriting, transactions of scattered edits, undo, redo, reads and
// settings, chosen by a random generator or by the bytes of a fuzz input.
#pragma once

#include "textbuff/edit_stream.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kestrel::test {

/// Where a session's choices come from.
class TChoiceSource {
public:
    virtual ~TChoiceSource() = default;
    /// A value in 0 .. Bound - 1 (Bound >= 1).
    virtual std::uint64_t Below(std::uint64_t Bound) = 0;
    /// True when no more choices are left; the session then ends.
    virtual bool Exhausted() const { return false; }
};

/// Choices from a seeded generator: the same seed gives the same session.
class TRandomChoices : public TChoiceSource {
public:
    explicit TRandomChoices(std::uint64_t Seed) : Rng(Seed) {}
    std::uint64_t Below(std::uint64_t Bound) override { return Rng() % Bound; }

private:
    std::mt19937_64 Rng;
};

/// Choices read from a byte string: each takes as few bytes as its range needs (none for a
/// range of one), so that a changed byte changes one choice. When the bytes run out every choice
/// is 0 and Exhausted is true.
class TByteChoices : public TChoiceSource {
public:
    TByteChoices(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {}
    std::uint64_t Below(std::uint64_t Bound) override;
    bool Exhausted() const override { return FDry; }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FAt = 0;
    bool FDry = false;
};

/// What the text should be: the text itself, the snapshots that undo and redo return to, and
/// the bookmarks.
struct TEditModel {
    std::string Text;
    std::deque<std::string> Undo; // back = the text the next Undo gives
    std::deque<std::string> Redo; // back = the text the next Redo gives
    std::int64_t MaxUndoLevels = 10;
    std::int64_t MaxTextSize = 0;
    std::vector<std::int64_t> Marks; // as the stream's bookmark slots

    void MoveMarks(std::int64_t Pos, std::int64_t Delta);
    void Insert(std::int64_t Pos, const std::string& Bytes);
    void Delete(std::int64_t Pos, std::int64_t Count);
    // Both lists keep at most MaxUndoLevels transactions, the oldest going first.
    void TrimUndo();
    void TrimRedo();
};

/// Sizes of a session's texts.
struct TEditSessionLimits {
    std::int64_t SourceText = 3000; ///< longest source attached
    std::int64_t Grow = 1500;       ///< below this size edits tend to add text, above to remove
};

/// One edit session: commands on a TEditStream and on the model, the whole state compared after
/// each (text, window, segment list, undo and redo counts, bookmarks, the inserted-text store).
class TEditSession {
public:
    TEditSession(TChoiceSource& Choices, std::uint16_t BufSize, TEditSessionLimits Limits = {});
    ~TEditSession();
    TEditSession(const TEditSession&) = delete;
    TEditSession& operator=(const TEditSession&) = delete;

    /// Runs up to Ops operations (fewer when the choices run out); returns an empty string, or
    /// what diverged with the last operations that led there.
    std::string Run(std::int64_t Ops);

private:
    std::int64_t Pick(std::int64_t Low, std::int64_t High); // inclusive
    bool Chance(int Percent) { return Pick(0, 99) < Percent; }
    std::int64_t Size() const { return static_cast<std::int64_t>(Model.Text.size()); }
    std::string RandomText(std::int64_t Length);
    bool FreshPos(std::int64_t& Pos, std::int64_t Low, std::int64_t High);
    void Log(const std::string& What);

    void Insert(std::int64_t Pos, std::string Bytes);
    void Delete(std::int64_t Pos, std::int64_t Count);
    void Replace(std::int64_t Pos, char Ch);
    void Attach(const std::string& Text);
    void OneCommand();
    void EndCommand(const std::string& Before);
    void UndoOrRedo(bool IsUndo);
    void UndoAllRedoAll();
    void RandomReads();
    void Settings();

    std::string HeldText();
    std::string Check();
    std::string Describe(const std::string& Error) const;

    TChoiceSource& Choices;
    std::uint16_t FBufSize;
    TEditSessionLimits FLimits;
    TEditStream Stream{nullptr};
    TEditModel Model;
    std::int64_t Step = 0;
    std::int64_t StepOps = 1;
    int Pushes = 0;
    std::int64_t Times = 0; // undos or redos the next UndoOrRedo makes; 0: a random number
    bool Edited = false;
    std::int64_t UndoPos = 0;
    std::int64_t UndoSize = 0;
    std::string Failure;
    std::deque<std::string> Recent;
};

} // namespace kestrel::test
