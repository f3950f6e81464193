#pragma once

#include <type_traits>
#include <utility>
#include <variant>

// Either a value or the reason there is none. A small stand-in for C++23's std::expected:
// operations of the network layer hand back one of these instead of throwing.
template <typename T, typename E> class Expected {
    static_assert(!std::is_same_v<T, E>, "the value and the error must be told apart by type");

public:
    // Holds E{}: only so that generic code (QCoro::waitFor) can make one before assigning it.
    Expected()
        : m_state(std::in_place_index<1>)
    {
    }
    Expected(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Expected(E error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};
