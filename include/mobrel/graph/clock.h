// The wall clock in milliseconds since 1970-01-01T00:00:00Z, as the engine reads it.
#pragma once

#include <cstdint>
#include <functional>

namespace mobrel {

// Whole milliseconds since the Unix epoch (seconds * 1000 + nanoseconds / 1000000);
// 0 when the system clock reads earlier than the epoch.
std::uint64_t wall_clock_ms();

// One clock stamps records and judges rate windows; tests may substitute their own.
using Clock = std::function<std::uint64_t()>;

}  // namespace mobrel
