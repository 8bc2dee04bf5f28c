// Scopes of the viewer: busy mode and a state flag held while a block runs, and a cleanup that
// may fail, each undone however the block is left.
#pragma once

#include "fileview/lines_viewer.h"

#include <cstdint>
#include <exception>
#include <type_traits>
#include <utility>

namespace kestrel {

/// Runs Leave when the scope is left, however it is left. Unlike TScopeExit, Leave may raise
/// (the viewer's steps fire events): on a normal exit its exception propagates; while another
/// exception unwinds the stack it is dropped, so that the first failure is the one reported.
template <typename F> class TLeaveScope {
public:
    explicit TLeaveScope(F Fn) noexcept(std::is_nothrow_move_constructible_v<F>)
        : Fn(std::move(Fn)), Uncaught(std::uncaught_exceptions()) {}
    TLeaveScope(const TLeaveScope&) = delete;
    TLeaveScope& operator=(const TLeaveScope&) = delete;
    // Raising on a normal exit is the point of this scope.
    ~TLeaveScope() noexcept(false) { // NOLINT(bugprone-exception-escape)
        if (std::uncaught_exceptions() == Uncaught) {
            Fn();
            return;
        }
        try {
            Fn();
        } catch (...) { // the failure that is unwinding is the one reported
        }
    }

private:
    F Fn;
    int Uncaught;
};

/// Busy mode for the life of the scope: EnterBusyMode(Total) when it begins (a viewer that is
/// already busy raises, and nothing is to be left), ExitBusyMode however it ends.
class TBusyModeScope {
public:
    TBusyModeScope(TLinesViewer& Viewer, std::int64_t Total)
        : Exit((Viewer.EnterBusyMode(Total), TExit{&Viewer})) {}

private:
    struct TExit {
        TLinesViewer* Viewer;
        void operator()() const { Viewer->ExitBusyMode(); }
    };
    TLeaveScope<TExit> Exit;
};

/// A state flag of the viewer set for the life of the scope and removed however it ends.
class TStateFlagScope {
public:
    TStateFlagScope(TLinesViewer& Viewer, TViewerState Flag)
        : Clear((Viewer.SetState(Flag, true), TClear{&Viewer, Flag})) {}

private:
    struct TClear {
        TLinesViewer* Viewer;
        TViewerState Flag;
        void operator()() const { Viewer->SetState(Flag, false); }
    };
    TLeaveScope<TClear> Clear;
};

} // namespace kestrel
