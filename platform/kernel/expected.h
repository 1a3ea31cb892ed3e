// A value or the reason there is none: the part of C++23 std::expected this
// code uses, under the same names, so callers move to the standard type by
// changing the namespace once the compiler has it.
#pragma once

#include <utility>
#include <variant>

namespace nb {

template <typename E>
class Unexpected {
   public:
    constexpr explicit Unexpected(E error) : m_error(std::move(error)) {}
    constexpr const E& error() const& { return m_error; }
    constexpr E& error() & { return m_error; }
    constexpr E&& error() && { return std::move(m_error); }

   private:
    E m_error;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

template <typename T, typename E>
class [[nodiscard]] Expected {
   public:
    constexpr Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename G>
    constexpr Expected(Unexpected<G> failure)
        : m_state(std::in_place_index<1>, std::move(failure).error()) {}

    constexpr bool has_value() const { return m_state.index() == 0; }
    constexpr explicit operator bool() const { return has_value(); }

    // value(), operator* and operator-> require has_value(); error() requires
    // its absence. std::get enforces both by throwing, never by reading
    // the other alternative.
    constexpr T& value() & { return std::get<0>(m_state); }
    constexpr const T& value() const& { return std::get<0>(m_state); }
    constexpr T&& value() && { return std::get<0>(std::move(m_state)); }
    constexpr const E& error() const& { return std::get<1>(m_state); }
    constexpr E& error() & { return std::get<1>(m_state); }

    constexpr T& operator*() & { return value(); }
    constexpr const T& operator*() const& { return value(); }
    constexpr T&& operator*() && { return std::move(*this).value(); }
    constexpr T* operator->() { return &value(); }
    constexpr const T* operator->() const { return &value(); }

    template <typename U>
    constexpr T value_or(U&& fallback) const& {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

   private:
    std::variant<T, E> m_state;
};

}  // namespace nb
