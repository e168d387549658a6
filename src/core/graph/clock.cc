#include "mobrel/graph/clock.h"

#include <ctime>

namespace mobrel {

std::uint64_t wall_clock_ms() {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec < 0) return 0;
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

}  // namespace mobrel
