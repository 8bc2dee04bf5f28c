// Scope guards: cleanup that runs when a block is left, by return or by exception.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace kestrel {

/// Runs a cleanup when the scope is left, however it is left. The cleanup must not throw:
/// it may run while an exception unwinds the stack. `Release` cancels it.
template <typename F> class TScopeExit {
public:
    explicit TScopeExit(F Fn) noexcept(std::is_nothrow_move_constructible_v<F>)
        : Fn(std::move(Fn)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() {
        if (Active)
            Fn();
    }
    void Release() noexcept { Active = false; }

private:
    F Fn;
    bool Active = true;
};

/// Runs a cleanup only when the scope is left by an exception: the undo of a step that must
/// not stay half done. On a normal exit nothing runs.
template <typename F> class TScopeFail {
public:
    explicit TScopeFail(F Fn) noexcept(std::is_nothrow_move_constructible_v<F>)
        : Fn(std::move(Fn)), Uncaught(std::uncaught_exceptions()) {}
    TScopeFail(const TScopeFail&) = delete;
    TScopeFail& operator=(const TScopeFail&) = delete;
    ~TScopeFail() {
        if (std::uncaught_exceptions() > Uncaught)
            Fn();
    }

private:
    F Fn;
    int Uncaught;
};

/// Raises a counter for the life of the scope (nesting depths, update locks).
template <typename T> class TCounterGuard {
public:
    explicit TCounterGuard(T& Counter) noexcept : Counter(Counter) { ++Counter; }
    TCounterGuard(const TCounterGuard&) = delete;
    TCounterGuard& operator=(const TCounterGuard&) = delete;
    ~TCounterGuard() { --Counter; }

private:
    T& Counter;
};

/// Sets a variable for the life of the scope and gives its old value back on leaving.
template <typename T> class TValueGuard {
public:
    TValueGuard(T& Target, T Value) : Target(Target), Saved(std::move(Target)) {
        this->Target = std::move(Value);
    }
    TValueGuard(const TValueGuard&) = delete;
    TValueGuard& operator=(const TValueGuard&) = delete;
    ~TValueGuard() { Target = std::move(Saved); }

private:
    T& Target;
    T Saved;
};

} // namespace kestrel
