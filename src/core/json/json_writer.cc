#include "json/json_writer.h"

#include <charconv>
#include <cstdlib>

namespace mobrel::json {

void append_escaped(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
        } else {
          out += c;
        }
    }
  }
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (level.is_object) std::abort();  // a value inside an object needs its key first
  if (!level.empty) out_ += ',';
  level.empty = false;
}

JsonWriter& JsonWriter::begin_object() {
  before_value();
  out_ += '{';
  levels_.push_back({true, true, {}});
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  levels_.pop_back();
  out_ += '}';
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  before_value();
  out_ += '[';
  levels_.push_back({false, true, {}});
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  levels_.pop_back();
  out_ += ']';
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  Level& level = levels_.back();
  if (!level.is_object || (!level.empty && name <= level.last_key)) std::abort();
  if (!level.empty) out_ += ',';
  level.empty = false;
  level.last_key = name;
  out_ += '"';
  append_escaped(out_, name);
  out_ += "\":";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view value) {
  before_value();
  out_ += '"';
  append_escaped(out_, value);
  out_ += '"';
  return *this;
}

JsonWriter& JsonWriter::unsigned_integer(std::uint64_t value) {
  before_value();
  char digits[20];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out_.append(digits, end);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  before_value();
  out_ += "null";
  return *this;
}

}  // namespace mobrel::json
