// Randomized tests of the virtual stream list against a string: inserts, cuts and re-insertions
// of what was cut, with the list, its position, its index and reads checked after every step,
// with narrow index nodes (deep trees: many splits and merges) and with the default width; and a
// large text of many pieces read and saved in random ranges.
#include "textbuff/segment_list.h"

#include "host/exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

std::string Sub(const std::string& Text, std::int64_t Pos, std::int64_t Count) {
    return Text.substr(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
}

/// Count bytes from Pos through Read, which must leave the position after them.
std::string ReadAt(TVirtualStreamList& List, std::int64_t Pos, std::int64_t Count) {
    std::string Result(static_cast<std::size_t>(Count), '\0');
    List.Seek(Pos);
    Result.resize(static_cast<std::size_t>(List.Read(Result.data(), Count)));
    EXPECT_EQ(List.GetPosition(), Pos + static_cast<std::int64_t>(Result.size()));
    return Result;
}

/// Count bytes from Pos through CopyToStream.
std::string SavedAt(TVirtualStreamList& List, std::int64_t Pos, std::int64_t Count) {
    TMemoryStream Out;
    List.Seek(Pos);
    List.CopyToStream(&Out, Count);
    return std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                       static_cast<std::size_t>(Out.GetSize()));
}

std::string ListText(const TSegmentList& List) {
    std::string Result;
    for (const TStreamSegment* S = List.GetHead(); S != nullptr; S = S->Next) {
        std::string Part(static_cast<std::size_t>(S->Size), '\0');
        EXPECT_EQ(S->Read(Part.data(), 0, S->Size), S->Size);
        Result += Part;
    }
    return Result;
}

// A list of source and inserted segments against a string, through random inserts, cuts and
// re-insertions of what was cut (the moves undo and redo make). Now and then a cut takes a large
// part of the text and its re-insertion brings it back, which empties and refills whole nodes.
void RunModel(int Fanout, std::uint64_t Seed) {
    SCOPED_TRACE("fanout " + std::to_string(Fanout) + ", seed " + std::to_string(Seed));
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer("The quick brown fox jumps over the lazy dog. 0123456789", 55);
    TMemoryBuffer Stores[2]; // inserted bytes go to either: a list may hold blocks of both
    TVirtualStreamList List(Fanout);
    List.Insert(std::make_unique<TStreamSegment>(Source.get(), 0, Source->GetSize()));
    std::string Model = "The quick brown fox jumps over the lazy dog. 0123456789";
    std::vector<std::pair<std::unique_ptr<TSegmentList>, std::string>> Cuts;
    std::mt19937_64 Rng(Seed);
    const auto Pick = [&](std::int64_t N) {
        return static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(N + 1));
    };
    int Deepest = 0;
    for (int Step = 0; Step < 4000; ++Step) {
        const std::int64_t Size = static_cast<std::int64_t>(Model.size());
        const std::int64_t Pos = Pick(Size);
        switch (Rng() % 3) {
        case 0: {
            std::string Bytes(static_cast<std::size_t>(1 + Rng() % 4),
                              static_cast<char>('a' + Step % 26));
            List.Seek(Pos);
            TMemoryBuffer& Store = Stores[Rng() % 2];
            List.Insert(Store.SaveBuf(Bytes.data(), static_cast<std::int64_t>(Bytes.size())));
            Model.insert(static_cast<std::size_t>(Pos), Bytes);
            break;
        }
        case 1: {
            const std::int64_t Count =
                Pick(Rng() % 64 == 0 ? (Size - Pos) / 2 : std::min<std::int64_t>(8, Size - Pos));
            List.Seek(Pos);
            auto Removed = List.Cut(Count);
            const std::string Bytes =
                Model.substr(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
            ASSERT_EQ(ListText(*Removed), Bytes);
            Model.erase(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
            Cuts.emplace_back(std::move(Removed), Bytes);
            break;
        }
        default:
            if (Cuts.empty())
                break;
            List.Seek(Pos);
            List.InsertSegmentList(std::move(Cuts.back().first));
            Model.insert(static_cast<std::size_t>(Pos), Cuts.back().second);
            ASSERT_EQ(List.GetPosition(),
                      Pos + static_cast<std::int64_t>(Cuts.back().second.size()));
            Cuts.pop_back();
            break;
        }
        ASSERT_TRUE(List.IsPositionConsistent()) << "step " << Step;
        ASSERT_EQ(ListText(List), Model) << "step " << Step;
        const std::int64_t From = Pick(static_cast<std::int64_t>(Model.size()));
        const std::int64_t Count = Pick(static_cast<std::int64_t>(Model.size()) - From);
        ASSERT_EQ(ReadAt(List, From, Count), Sub(Model, From, Count)) << "step " << Step;
        ASSERT_EQ(SavedAt(List, From, Count), Sub(Model, From, Count)) << "step " << Step;
        Deepest = std::max(Deepest, List.GetIndex().GetDepth());
    }
    if (Fanout < 8) {
        EXPECT_GE(Deepest, 4) << "the index never grew deep: splits and merges went untested";
    }
    Cuts.clear();
    List.Clear();
    EXPECT_TRUE(List.IsPositionConsistent());
    for (const TMemoryBuffer& Store : Stores) {
        EXPECT_EQ(Store.GetSize(), Store.GetTop()) << "every inserted byte went back";
        EXPECT_TRUE(Store.IsConsistent());
    }
}

TEST(VirtualStreamRandomTest, MatchesAStringModel) {
    RunModel(4, 7);
    RunModel(6, 8);
    RunModel(TSegmentIndex::MaxFanout, 9);
}

// A large text cut into many pieces, most of them short (edits close together at the front), a
// few long (edits far apart elsewhere), read and saved in random ranges: reads that join pieces,
// saves that gather them and copy long ones on their own. Then the source loses all but its start:
// reads stop at the first byte lost, saving raises.
TEST(VirtualStreamRandomTest, ReadsAndSavesAManyPieceText) {
    std::mt19937_64 Rng(11);
    const auto Pick = [&](std::int64_t N) {
        return static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(N + 1));
    };
    std::string Model(1 << 20, '\0');
    for (char& Ch : Model)
        Ch = static_cast<char>('a' + Rng() % 26);
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer(Model.data(), static_cast<std::int64_t>(Model.size()));
    TMemoryBuffer Store;
    TVirtualStreamList List;
    List.Insert(std::make_unique<TStreamSegment>(Source.get(), 0, Source->GetSize()));
    const auto Size = [&] { return static_cast<std::int64_t>(Model.size()); };
    for (int Edit = 0; Edit < 4000; ++Edit) {
        const std::int64_t Pos =
            Pick(Edit % 400 == 0 ? Size() : std::min<std::int64_t>(Size(), 100000));
        List.Seek(Pos);
        if (Rng() % 2 == 0) {
            const std::string Bytes(static_cast<std::size_t>(1 + Rng() % 3),
                                    static_cast<char>('A' + Edit % 26));
            List.Insert(Store.SaveBuf(Bytes.data(), static_cast<std::int64_t>(Bytes.size())));
            Model.insert(static_cast<std::size_t>(Pos), Bytes);
        } else {
            const std::int64_t Count = std::min<std::int64_t>(1 + Pick(2), Size() - Pos);
            List.Cut(Count);
            Model.erase(static_cast<std::size_t>(Pos), static_cast<std::size_t>(Count));
        }
    }
    ASSERT_TRUE(List.IsPositionConsistent());
    EXPECT_EQ(SavedAt(List, 0, Size()), Model);
    for (int Check = 0; Check < 40; ++Check) {
        const std::int64_t Pos = Pick(Size());
        const std::int64_t Count = Pick(std::min<std::int64_t>(300000, Size() - Pos));
        ASSERT_EQ(ReadAt(List, Pos, Count), Sub(Model, Pos, Count)) << Pos << " " << Count;
        ASSERT_EQ(SavedAt(List, Pos, Count), Sub(Model, Pos, Count)) << Pos << " " << Count;
    }

    const std::int64_t Kept = 50000; // within the part cut into short pieces
    Source->SetSize(Kept);
    std::int64_t Readable = 0; // the bytes before the first one the source lost
    for (const TStreamSegment* S = List.GetHead(); S != nullptr; S = S->Next) {
        if (S->Stream == Source.get() && S->Start + S->Size > Kept) {
            Readable += std::max<std::int64_t>(0, Kept - S->Start);
            break;
        }
        Readable += S->Size;
    }
    EXPECT_EQ(ReadAt(List, 0, Size()), Sub(Model, 0, Readable));
    EXPECT_THROW(SavedAt(List, 0, Size()), EReadError);
    List.Clear();
    EXPECT_EQ(Store.GetSize(), Store.GetTop()) << "every inserted byte went back to the store";
    EXPECT_TRUE(Store.IsConsistent());
}

} // namespace
} // namespace kestrel
