// The engine handle the host holds: the engine behind its lock.
#pragma once

#include <mutex>

#include "mobrel/engine.h"

struct MobrelEngine {
  std::mutex mutex;
  mobrel::Engine engine{mobrel::InputMode::AllSession};
};

namespace mobrel::ffi {

// Exclusive access to the engine for one operation; released when it goes out of scope.
class LockedEngine {
 public:
  explicit LockedEngine(MobrelEngine* handle) : guard_(handle->mutex), engine_(handle->engine) {}
  Engine* operator->() { return &engine_; }
  Engine& operator*() { return engine_; }

 private:
  std::lock_guard<std::mutex> guard_;
  Engine& engine_;
};

inline LockedEngine lock(MobrelEngine* handle) { return LockedEngine(handle); }

}  // namespace mobrel::ffi
