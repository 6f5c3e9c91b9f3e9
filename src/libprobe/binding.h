// Binding a loaded library's entry points by name. Each slot is typed from
// the library's public header (decltype(&name)), so it cannot be called with
// the wrong signature; the binding itself sees only the slot's address.
#pragma once

#include <array>
#include <span>

// One name to look up and the typed slot it fills.
struct NamedSlot {
    const char *name;
    void *slot;
    bool optional; // may be absent: left null, untraced, and no failure
};

template <typename Target>
constexpr NamedSlot named_slot(const char *name, Target **slot, bool optional = false) {
    static_assert(sizeof(Target *) == sizeof(void *));
    return {name, slot, optional};
}

// Declares the slot of one entry point, named and typed after it.
#define TYPED_SLOT(name) decltype(&::name) name;

// The slot list of an entry-point list (X(name) for each, in binding order)
// and the functions object that holds its typed slots: one row per name,
// filling the member of that name, then any further rows given. A constant
// array, ready for bind_library. X(name) carries the name alone, so the
// object reaches each row as the parameter of a lambda evaluated at once.
// clang-format off
#define NAMED_SLOTS(ENTRY_POINTS, functions, ...) \
    [](auto &bound) constexpr { \
        return std::array{ENTRY_POINTS(NAMED_SLOT_OF_BOUND) __VA_ARGS__}; \
    }(functions)
#define NAMED_SLOT_OF_BOUND(name) named_slot(#name, &bound.name),
// clang-format on

// Looks up every name in order, absent ones included, so the trace lists
// each absent required name ("Missing <name>"). 1 when all required names
// were found. The handle must stay open while the slots are in use.
int bind_library(void *handle, std::span<const NamedSlot> slots);
