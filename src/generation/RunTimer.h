#pragma once

#include <cstdint>
#include <functional>

// A reading of the millisecond tick counter, as a 32-bit signed value.
using RunTimer = std::int32_t;

// The millisecond tick counter a run reads.
using TickClock = std::function<RunTimer()>;

// Milliseconds from one reading to a later one. The counter wraps, so the
// difference is taken modulo 2^32: a run across the wrap still shows its true
// duration, and no signed overflow can occur.
constexpr std::int32_t Elapsed(RunTimer later, RunTimer earlier)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) - static_cast<std::uint32_t>(earlier));
}
