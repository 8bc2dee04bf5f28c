// Scope guards: which cleanups run on a normal exit and which only on an exception.
#include "host/scope_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace kestrel {
namespace {

TEST(ScopeGuardTest, ExitRunsAlwaysFailOnlyOnExceptionValuesAndCountersComeBack) {
    std::string Log;
    int Depth = 0;
    int Mode = 1;
    auto Run = [&](bool Raise) {
        TScopeExit Exit([&] { Log += 'x'; });
        TScopeFail Fail([&] { Log += 'f'; });
        TScopeExit Cancelled([&] { Log += '!'; });
        Cancelled.Release();
        TCounterGuard<int> Nest(Depth);
        TValueGuard<int> Swap(Mode, 7);
        EXPECT_EQ(Depth, 1);
        EXPECT_EQ(Mode, 7);
        if (Raise)
            throw std::runtime_error("raised");
    };
    Run(false);
    EXPECT_EQ(Log, "x");
    EXPECT_THROW(Run(true), std::runtime_error);
    EXPECT_EQ(Log, "xfx"); // fail guard first: guards unwind in reverse order
    EXPECT_EQ(Depth, 0);
    EXPECT_EQ(Mode, 1);

    // A fail guard inside a catch handler that ends normally does not run.
    try {
        throw std::runtime_error("outer");
    } catch (const std::exception&) {
        TScopeFail Inner([&] { Log += 'i'; });
    }
    EXPECT_EQ(Log, "xfx");
}

} // namespace
} // namespace kestrel
