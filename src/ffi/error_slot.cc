#include "ffi/error_slot.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "json/json_writer.h"

namespace mobrel::ffi {
namespace {

// The slot of the calling thread; released when the thread ends.
thread_local std::optional<std::string> last_error;

}  // namespace

void clear_slot() { last_error.reset(); }

void set_slot(std::string_view text) { last_error.emplace(text); }

bool take_slot(std::string& text) {
  if (!last_error) return false;
  text = std::move(*last_error);
  last_error.reset();
  return true;
}

void set_error(std::string_view message) {
  json::JsonWriter writer;
  writer.begin_object().key("error").string(message).end_object();
  set_slot(writer.text());
}

std::uint8_t* hand_out(std::string_view text) {
  auto* buffer = static_cast<std::uint8_t*>(std::malloc(text.size()));
  if (!buffer) std::abort();  // memory exhaustion ends the process
  std::memcpy(buffer, text.data(), text.size());
  return buffer;
}

void release(std::uint8_t* buffer) { std::free(buffer); }

}  // namespace mobrel::ffi
