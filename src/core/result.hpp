#pragma once
// The one way the core reports a refusal: a Result holds the value or the refusal's error.
#include <type_traits>
#include <utility>
#include <variant>

namespace brenk::core {

/// The error a refused operation returns, converted to any Result with that error type.
template <class E> struct Refusal {
    E error;
};
template <class E> Refusal(E) -> Refusal<E>;

/// The value of an operation that may be refused, or its error. Tested like an optional.
template <class T, class E> class [[nodiscard]] Result {
public:
    Result(T value) noexcept(std::is_nothrow_move_constructible_v<T>) : state_(std::in_place_index<0>, std::move(value))
    {
    }
    template <class F> Result(Refusal<F> refusal) : state_(std::in_place_index<1>, E(std::move(refusal.error))) {}

    bool has_value() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }
    T& operator*() & noexcept { return *std::get_if<0>(&state_); }
    const T& operator*() const& noexcept { return *std::get_if<0>(&state_); }
    T&& operator*() && noexcept { return std::move(*std::get_if<0>(&state_)); }
    T* operator->() noexcept { return std::get_if<0>(&state_); }
    const T* operator->() const noexcept { return std::get_if<0>(&state_); }
    /// Only when refused.
    const E& error() const& noexcept { return *std::get_if<1>(&state_); }

private:
    std::variant<T, E> state_;
};

} // namespace brenk::core
