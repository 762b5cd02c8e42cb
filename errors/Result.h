#pragma once

#include "errors/Error.h"

#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace shardix {

// What an operation gives: a value of `T` (nothing for Result<>), or the Error
// that stopped it. Asked with ok(), never as a bool, so that no test of it can
// be read the wrong way round.
template <typename T = void> class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }
    const Error& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Error> state_;
};

template <> class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    const Error& error() const { return *error_; }

  private:
    std::optional<Error> error_;
};

// The value of `result`, or its Error raised as Failed: for a step of a run
// that a guarded() in the same .cpp turns back into a value.
template <typename T> T valueOrRaise(Result<T> result) {
    if (!result.ok())
        fail(result.error());
    return std::move(result).value();
}

// Nothing, or the Error of `result` raised as Failed, as above.
inline void valueOrRaise(const Result<>& result) {
    if (!result.ok())
        fail(result.error());
}

// Runs `work` and returns what it returns, with an Error thrown inside (as
// Failed) returned instead, and a shortage of memory as an Error too: the one
// place where the engines' failures turn from exceptions into values.
template <typename Work> auto guarded(Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const Failed& failed) {
        return failed.error();
    } catch (const std::bad_alloc&) {
        return Error::of(ErrorKind::Internal, "There is not enough memory to go on.");
    }
}

} // namespace shardix
