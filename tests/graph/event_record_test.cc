#include "mobrel/graph/event_record.h"

#include <gtest/gtest.h>

#include <string>

namespace mobrel {
namespace {

std::string hex(const Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t byte : digest) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
  return out;
}

Digest filled(std::uint8_t byte) {
  Digest digest;
  digest.fill(byte);
  return digest;
}

ContentPayload web_abc() {
  ContentPayload payload;
  payload.channel = "web";
  payload.content_hash = blake3_digest(std::string_view("abc"));
  payload.content_len = 3;
  payload.trust = 3;
  return payload;
}

TEST(IntegrityTest, WorkedExampleHashesExactlyTheseBytes) {
  std::vector<std::uint8_t> prefix;
  append_integrity_prefix(prefix, 5, 1, 256, web_abc());
  const Digest abc = blake3_digest(std::string_view("abc"));
  std::vector<std::uint8_t> expected = {
      0x05, 0, 0, 0, 0, 0, 0, 0,     // id
      0x01, 0, 0, 0,                 // version
      0x00, 0x01, 0, 0, 0, 0, 0, 0,  // timestamp 256
      0x01,                          // Content
      0x03, 0, 0, 0, 'w', 'e', 'b',  // channel
      0x00, 0, 0, 0};                // empty sender
  expected.insert(expected.end(), abc.begin(), abc.end());
  expected.insert(expected.end(), {0x03, 0, 0, 0, 0x03});  // content_len, trust
  EXPECT_EQ(prefix, expected);
  EXPECT_EQ(prefix.size() + 32, 101u);  // one input digest follows

  // Obtained with b3sum over the same 101 bytes, the input digest being 32 bytes of 0xab:
  //   python3 writes the sequence to example.bin; b3sum example.bin
  const Digest input = filled(0xab);
  EXPECT_EQ(hex(compute_integrity(5, 1, 256, web_abc(), std::span(&input, 1))),
            "35ae6430a3dd3e0d7ff64ec091a3916b3471b496e6b49b73be9ae03fa94ee5ba");
  EXPECT_EQ(hex(abc), "6437b3ac38465133ffb63b75273a8db548c558465d79db03fd359c6cd5bd9d85");
}

TEST(IntegrityTest, EmptyContentHasTheDigestOfNothing) {
  EXPECT_EQ(hex(blake3_digest(std::string_view())),
            "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262");
}

TEST(IntegrityTest, ToolCallWithoutKeysPutsCallTextRightAfterLength) {
  ToolCallPayload call;
  call.tool = "t";
  call.params_len = 7;
  call.call_text = "hi";
  std::vector<std::uint8_t> bytes;
  append_integrity_prefix(bytes, 0, 1, 0, call);
  // 8 id + 4 version + 8 time + 1 kind + (4 + 1) tool + 32 hash, then params_len, call_text
  const std::size_t at = 8 + 4 + 8 + 1 + 5 + 32;
  ASSERT_EQ(bytes.size(), at + 4 + 4 + 2);
  EXPECT_EQ(bytes[20], 2);  // ToolCall discriminant
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + at, bytes.end()),
            (std::vector<std::uint8_t>{7, 0, 0, 0, 2, 0, 0, 0, 'h', 'i'}));

  call.param_keys = {"a", "b"};
  std::vector<std::uint8_t> with_keys;
  append_integrity_prefix(with_keys, 0, 1, 0, call);
  EXPECT_EQ(std::vector<std::uint8_t>(with_keys.begin() + at + 4, with_keys.end()),
            (std::vector<std::uint8_t>{1, 0, 0, 0, 'a', 1, 0, 0, 0, 'b', 2, 0, 0, 0, 'h', 'i'}));
}

TEST(IntegrityTest, ToolResultFieldOrder) {
  ToolResultPayload result;
  result.output_len = 1;
  result.status = -1;
  std::vector<std::uint8_t> bytes;
  append_integrity_prefix(bytes, 0, 1, 0, result);
  EXPECT_EQ(bytes[20], 3);
  const std::size_t at = 21 + 4 + 32;  // empty tool, output hash
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + at, bytes.end()),
            (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}));
}

TEST(IntegrityTest, DigestCoversTimestampAndInputs) {
  const Digest base = compute_integrity(1, 1, 100, web_abc(), {});
  EXPECT_NE(base, compute_integrity(1, 1, 101, web_abc(), {}));
  const Digest input = filled(1);
  EXPECT_NE(base, compute_integrity(1, 1, 100, web_abc(), std::span(&input, 1)));
}

TEST(IntegrityTest, LengthsSaturateAt32Bits) {
  EXPECT_EQ(capped_length(3), 3u);
  EXPECT_EQ(capped_length(0xFFFFFFFFull), 0xFFFFFFFFu);
  EXPECT_EQ(capped_length(0x100000000ull), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace mobrel
