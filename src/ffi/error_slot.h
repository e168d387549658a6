// The per-thread text slot through which error and decision texts reach the host, and the
// exact-size buffers the library hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mobrel::ffi {

void clear_slot();
void set_slot(std::string_view text);
// Moves the slot's text out; false when the slot is empty.
bool take_slot(std::string& text);

// Sets the slot to {"error":"<message>"} with the message escaped as a JSON string.
void set_error(std::string_view message);

// Copies the text into a buffer of exactly its length, owned by the host until it comes
// back through mobrel_free_string. Every text handed out is non-empty JSON.
std::uint8_t* hand_out(std::string_view text);
void release(std::uint8_t* buffer);

}  // namespace mobrel::ffi
