// Model-based randomized test of TEditStream: long random edit sessions against a std::string
// model with its own undo history, the whole text compared after every operation.
//
// Replay a failing run with KESTREL_STORAGE_SEED=<seed> (and KESTREL_STORAGE_BUFSIZE=<size>,
// KESTREL_STORAGE_OPS=<count> to change the defaults of that run).
#include "support/edit_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kestrel {
namespace {

std::int64_t EnvInt(const char* Name, std::int64_t Default) {
    const char* Value = std::getenv(Name);
    return Value != nullptr && *Value != '\0' ? std::strtoll(Value, nullptr, 10) : Default;
}

TEST(EditStreamModelTest, RandomSessionsMatchTheModel) {
    struct TRun {
        std::uint64_t Seed;
        std::uint16_t BufSize;
    };
    std::vector<TRun> Runs = {{1, 16},  {2, 17},  {3, 31},   {4, 64},
                              {5, 100}, {6, 257}, {7, 1000}, {8, 4096}};
    std::int64_t Ops = 40000; // 320,000 operations in all
    if (const std::int64_t Seed = EnvInt("KESTREL_STORAGE_SEED", -1); Seed >= 0) {
        Runs = {{static_cast<std::uint64_t>(Seed),
                 static_cast<std::uint16_t>(EnvInt("KESTREL_STORAGE_BUFSIZE", 16))}};
        Ops = EnvInt("KESTREL_STORAGE_OPS", Ops);
    }
    std::int64_t Total = 0;
    for (const TRun& Run : Runs) {
        test::TRandomChoices Choices(Run.Seed);
        test::TEditSession Session(Choices, Run.BufSize);
        const std::string Error = Session.Run(Ops);
        EXPECT_EQ(Error, "") << "seed " << Run.Seed << ", " << Error
                             << "\nreplay with KESTREL_STORAGE_SEED=" << Run.Seed
                             << " KESTREL_STORAGE_BUFSIZE=" << Run.BufSize;
        Total += Ops;
    }
    RecordProperty("operations", std::to_string(Total));
}

} // namespace
} // namespace kestrel
