// The JSON writer behind every text the library hands out: compact, object members in
// ascending byte order of their names, and exactly these string escapes: \" \\ \b \t \n
// \f \r, \u00xx (lower-case hex) for the other control characters, every other byte as is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mobrel::json {

class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  // Names must come in ascending byte order within one object; anything else is a bug in
  // the caller and ends the process.
  JsonWriter& key(std::string_view name);
  JsonWriter& string(std::string_view value);
  JsonWriter& unsigned_integer(std::uint64_t value);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  struct Level {
    bool is_object = false;
    bool empty = true;
    std::string last_key;
  };
  void before_value();

  std::string out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

// Appends `value` as the contents of a JSON string (without the quotes).
void append_escaped(std::string& out, std::string_view value);

}  // namespace mobrel::json
