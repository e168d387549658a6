// The scan without AVX-512 VBMI. Five of the six patterns lie inside runs of base64url
// characters ([A-Za-z0-9_-], prefixes included): a key or a hex string holds 20 or more
// [a-zA-Z0-9] in a row, and a compact token's first segment is a run of at least 23 that
// ends at a full stop. The sixth has a hyphen with a digit on either side. Each 64-byte
// block is first reduced to masks, one bit per byte, from which the bytes where such a run
// reaches that length and the hyphens between digits follow by shifts, with the previous
// block's bits carried in; prose and markup leave them empty nearly everywhere. Each
// flagged run is then examined once, and each flagged hyphen costs a bounded look around
// it, so the scan stays linear whatever the text holds. The masks come from AVX2 where the
// processor has it and from 8-byte words elsewhere.
#include "sanitizer/portable_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define MOBREL_HAVE_AVX2_MASKS 1
#else
#define MOBREL_HAVE_AVX2_MASKS 0
#endif

namespace mobrel::detail {
namespace {

using Mask = std::uint64_t;  // one bit per byte of a block, bit 0 first
constexpr std::size_t kBlock = 64;

// The classes of the bytes of one block.
struct BlockMasks {
  Mask base64url;
  Mask alnum;
  Mask hyphens;
  Mask may_be_digits;  // ASCII digits, and bytes from 0x80 up
};

// Class bits of an ASCII byte; bytes from 0x80 up have none.
constexpr std::uint8_t kBase64Url = 1;     // A-Za-z0-9_-
constexpr std::uint8_t kHex = 2;           // 0-9a-fA-F
constexpr std::uint8_t kUpperOrDigit = 4;  // 0-9A-Z
constexpr std::uint8_t kAlnum = 8;         // a-zA-Z0-9
constexpr std::uint8_t kDigit = 16;        // 0-9
constexpr std::uint8_t kWord = 32;         // a-zA-Z0-9_, the ASCII word characters

constexpr std::array<std::uint8_t, 256> kClassTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 128; ++c) {
    const bool digit = c >= '0' && c <= '9';
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool hex_letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    std::uint8_t bits = 0;
    if (digit || upper || lower || c == '-' || c == '_') bits |= kBase64Url;
    if (digit || hex_letter) bits |= kHex;
    if (digit || upper) bits |= kUpperOrDigit;
    if (digit || upper || lower) bits |= kAlnum;
    if (digit) bits |= kDigit;
    if (digit || upper || lower || c == '_') bits |= kWord;
    table[c] = bits;
  }
  return table;
}();

// The shortest run of base64url characters holding a match: "AKIA" and 16 more.
constexpr std::size_t kShortestRun = 20;
constexpr std::size_t kMarkerLength = 3;  // "eyJ"
constexpr std::size_t kMinFirstSegment = 20;

// ---- Block masks from 8-byte words, on any processor.

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

// The high bit of each byte of `low7` (bytes below 0x80) that lies in [lo, hi]. Neither sum
// carries into the next byte.
constexpr std::uint64_t in_range(std::uint64_t low7, std::uint8_t lo, std::uint8_t hi) {
  return (low7 + kOnes * (0x80 - lo)) & ~(low7 + kOnes * (0x7F - hi)) & kHighBits;
}

// Gathers the high bit of byte k into bit k.
constexpr Mask gather_high_bits(std::uint64_t word) {
  return ((word & kHighBits) * 0x0002040810204081) >> 56;
}

BlockMasks block_masks_by_words(const std::uint8_t* block) {
  BlockMasks masks{0, 0, 0, 0};
  for (unsigned w = 0; w < kBlock / 8; ++w) {
    std::uint64_t word;
    std::memcpy(&word, block + 8 * w, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const std::uint64_t ascii = ~word & kHighBits;
    const std::uint64_t low7 = word & ~kHighBits;
    const std::uint64_t digits = in_range(low7, '0', '9') & ascii;
    // Setting bit 5 folds upper-case letters onto lower-case ones and moves no other byte
    // below 0x80 into a-z.
    const std::uint64_t alnum = (digits | in_range(low7 | kOnes * 0x20, 'a', 'z')) & ascii;
    const std::uint64_t hyphens = in_range(low7, '-', '-') & ascii;
    const std::uint64_t base64url = alnum | hyphens | (in_range(low7, '_', '_') & ascii);
    masks.base64url |= gather_high_bits(base64url) << (8 * w);
    masks.alnum |= gather_high_bits(alnum) << (8 * w);
    masks.hyphens |= gather_high_bits(hyphens) << (8 * w);
    masks.may_be_digits |= gather_high_bits(digits | word) << (8 * w);
  }
  return masks;
}

// ---- Block masks from AVX2 compares, where the processor has them.

#if MOBREL_HAVE_AVX2_MASKS

bool avx2_supported() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

// Bytes b with (b - lo) mod 256 <= hi - lo: shifted so that the range starts at -128, one
// signed compare.
[[gnu::target("avx2")]] inline __m256i in_range(__m256i bytes, std::uint8_t lo, std::uint8_t hi) {
  const __m256i shifted = _mm256_add_epi8(bytes, _mm256_set1_epi8(static_cast<char>(0x80 - lo)));
  return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(0x80 + (hi - lo) + 1)), shifted);
}

// The high bit of each byte.
[[gnu::target("avx2")]] inline Mask bits(__m256i lanes) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes));
}

// The masks of 32 bytes, in the low half of each field.
[[gnu::target("avx2")]] inline BlockMasks half_masks(const std::uint8_t* half) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(half));
  const __m256i hyphen = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('-'));
  const __m256i underscore = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('_'));
  // As with words, bit 5 folds the cases; bytes from 0x80 up stay outside every range.
  const __m256i letter = in_range(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)), 'a', 'z');
  const __m256i digit = in_range(bytes, '0', '9');
  const __m256i alnum = _mm256_or_si256(letter, digit);
  return {bits(_mm256_or_si256(alnum, _mm256_or_si256(hyphen, underscore))), bits(alnum),
          bits(hyphen), bits(_mm256_or_si256(digit, bytes))};
}

[[gnu::target("avx2")]] BlockMasks block_masks_by_avx2(const std::uint8_t* block) {
  const BlockMasks low = half_masks(block);
  const BlockMasks high = half_masks(block + 32);
  return {low.base64url | high.base64url << 32, low.alnum | high.alnum << 32,
          low.hyphens | high.hyphens << 32, low.may_be_digits | high.may_be_digits << 32};
}

#endif

// ---- The exact tests behind the masks.

inline bool in_class(std::uint8_t byte, std::uint8_t bits) {
  return (kClassTable[byte] & bits) != 0;
}

// One step of a run counter: the run of `bits` ending at this byte. A mask rather than a
// branch, which the ends of words would keep mispredicting.
inline std::uint32_t extend(std::uint32_t run, std::uint8_t classes, std::uint8_t bits) {
  return (run + 1) & (std::uint32_t{0} - static_cast<std::uint32_t>((classes & bits) != 0));
}

constexpr Mask from_bit(std::size_t bit) { return bit >= 64 ? 0 : ~Mask{0} << bit; }

constexpr Mask kTopBit = Mask{1} << 63;

// Bit i: bit i - K of (previous, current) taken as one 128-bit mask.
template <int K>
constexpr Mask back(Mask current, Mask previous) {
  static_assert(K > 0 && K < 64);
  return (current << K) | (previous >> (64 - K));
}

// Per byte, whether runs of 1, 2, 4 and 8 bytes of a class end there.
struct RunLevels {
  Mask one = 0;
  Mask two = 0;
  Mask four = 0;
  Mask eight = 0;

  RunLevels next(Mask bits) const {
    RunLevels cur;
    cur.one = bits;
    cur.two = cur.one & back<1>(cur.one, one);
    cur.four = cur.two & back<2>(cur.two, two);
    cur.eight = cur.four & back<4>(cur.four, four);
    return cur;
  }

  Mask sixteen(const RunLevels& prev) const { return eight & back<8>(eight, prev.eight); }
  Mask twenty(const RunLevels& prev) const { return sixteen(prev) & back<16>(four, prev.four); }
};

class PortableScanner {
 public:
  PortableScanner(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn)
      : text_(text), ssn_(ssn) {}

  // The rare path for a block whose masks flag something: `keys` holds bytes inside runs
  // long enough for a key or a hex string, `run_ends` the last bytes of runs long enough
  // for most of a token's first segment, `hyphens` the hyphens that may start a
  // hyphenated number.
  bool block_matches(std::size_t base, Mask keys, Mask run_ends, Mask hyphens) {
    for (; hyphens != 0; hyphens &= hyphens - 1) {
      if (hyphen_matches(base + static_cast<unsigned>(std::countr_zero(hyphens)))) return true;
    }
    Mask runs = keys | run_ends;
    // Bytes inside a run already examined add nothing.
    const auto skip_examined = [&] {
      runs &= examined_until_ > base ? from_bit(examined_until_ - base) : ~Mask{0};
    };
    skip_examined();
    while (runs != 0) {
      const auto bit = static_cast<unsigned>(std::countr_zero(runs));
      const std::size_t pos = base + bit;
      // A run flagged for its end alone matters only before a full stop.
      if (((keys >> bit) & 1) == 0 && (pos + 1 >= text_.size() || text_[pos + 1] != '.')) {
        runs &= runs - 1;
        continue;
      }
      if (run_matches(pos)) return true;
      skip_examined();
    }
    return false;
  }

 private:
  // A hyphenated number needs a digit on both sides of its first hyphen; the cheap ASCII
  // test rules out nearly every other hyphen. Numbers written in ASCII and standing among
  // ASCII characters are settled here; only those near other bytes need the Unicode-aware
  // matcher.
  bool hyphen_matches(std::size_t hyphen) const {
    auto may_be_digit = [](std::uint8_t byte) {
      return static_cast<unsigned>(byte - '0') < 10 || byte >= 0x80;
    };
    if (hyphen == 0 || hyphen + 1 >= text_.size() || !may_be_digit(text_[hyphen - 1]) ||
        !may_be_digit(text_[hyphen + 1])) {
      return false;
    }
    // The bytes a match could span, with the characters on either side of it.
    const std::size_t from = hyphen >= 4 ? hyphen - 4 : 0;
    const std::size_t to = std::min(text_.size(), hyphen + 9);
    for (std::size_t i = from; i < to; ++i) {
      if (text_[i] >= 0x80) return ssn_.matches_at_hyphen(text_, hyphen);
    }
    return ascii_number_at(hyphen);
  }

  // \b\d{3}-\d{2}-\d{4}\b with its first hyphen at `hyphen`, in an all-ASCII window.
  bool ascii_number_at(std::size_t hyphen) const {
    if (hyphen < 3 || text_.size() - hyphen < 8) return false;
    const std::uint8_t* const first = text_.data() + hyphen - 3;  // the number's first byte
    auto digits = [](const std::uint8_t* bytes, std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        if (!in_class(bytes[i], kDigit)) return false;
      }
      return true;
    };
    const bool edge_before = hyphen == 3 || !in_class(first[-1], kWord);
    const bool edge_after = text_.size() - hyphen == 8 || !in_class(first[11], kWord);
    return digits(first, 3) && digits(first + 4, 2) && first[6] == '-' && digits(first + 7, 4) &&
           edge_before && edge_after;
  }

  // The whole run of base64url characters around `pos`, examined once.
  bool run_matches(std::size_t pos) {
    std::size_t begin = pos;
    while (begin > 0 && in_class(text_[begin - 1], kBase64Url)) --begin;
    std::size_t end = pos + 1;
    while (end < text_.size() && in_class(text_[end], kBase64Url)) ++end;
    examined_until_ = end;
    return end - begin >= kShortestRun &&
           (prefixed_run_in(begin, end) || token_starts_in(begin, end));
  }

  // The long hex run and the three prefixed keys, all inside [begin, end). Each key's
  // prefix holds a character that is rare in long runs ('-', '_', 'K'), found with memchr;
  // the body after each one is checked up to its first character outside the body's
  // class. Bodies of "sk-" and "ghp_" keys cannot hold the prefix's hyphen or underscore,
  // so those checks never overlap; "AKIA" takes four bytes, so each byte is checked for at
  // most four of them. Linear either way, and quick on runs without those characters.
  bool prefixed_run_in(std::size_t begin, std::size_t end) const {
    return key_in(begin, end, 'K', "AKIA", 1, kUpperOrDigit, 16) ||
           key_in(begin, end, '-', "sk-", 2, kAlnum, 20) ||
           key_in(begin, end, '_', "ghp_", 3, kAlnum, 36) || hex_run_in(begin, end);
  }

  bool hex_run_in(std::size_t begin, std::size_t end) const {
    if (end - begin < 32) return false;
    std::uint32_t hex = 0;
    for (std::size_t i = begin; i < end; ++i) {
      hex = extend(hex, kClassTable[text_[i]], kHex);
      if (hex == 32) return true;
    }
    return false;
  }

  // `prefix`, whose character `rare` sits at `rare_index`, then `count` bytes of `body`.
  bool key_in(std::size_t begin, std::size_t end, char rare, std::string_view prefix,
              std::size_t rare_index, std::uint8_t body, std::size_t count) const {
    const std::uint8_t* const data = text_.data();
    for (std::size_t pos = begin + rare_index; pos < end; ++pos) {
      const void* found = std::memchr(data + pos, rare, end - pos);
      if (found == nullptr) return false;
      pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
      const std::size_t start = pos - rare_index;  // >= begin: pos >= begin + rare_index
      const std::size_t body_start = start + prefix.size();
      if (end - start < prefix.size() + count ||
          std::memcmp(data + start, prefix.data(), prefix.size()) != 0) {
        continue;
      }
      std::size_t n = 0;
      while (n < count && in_class(data[body_start + n], body)) ++n;
      if (n == count) return true;
    }
    return false;
  }

  bool marker_at(std::size_t pos) const {
    return text_.size() - pos >= kMarkerLength && text_[pos] == 'e' && text_[pos + 1] == 'y' &&
           text_[pos + 2] == 'J';
  }

  // A compact token whose first segment is the end of the run [begin, end): the run's
  // earliest marker far enough from its end, a full stop, then a run that starts with the
  // marker and ends at another full stop.
  bool token_starts_in(std::size_t begin, std::size_t end) const {
    if (end >= text_.size() || text_[end] != '.') return false;
    // The earliest marker decides; string_view::find skips ahead with memchr.
    const std::string_view run(reinterpret_cast<const char*>(text_.data()) + begin, end - begin);
    const std::size_t marker = run.find("eyJ");
    if (marker == std::string_view::npos ||
        end - begin - marker < kMarkerLength + kMinFirstSegment) {
      return false;
    }
    const std::size_t second = end + 1;
    if (second >= text_.size() || !marker_at(second)) return false;
    std::size_t second_end = second + kMarkerLength;
    while (second_end < text_.size() && in_class(text_[second_end], kBase64Url)) ++second_end;
    return second_end < text_.size() && text_[second_end] == '.';
  }

  std::span<const std::uint8_t> text_;
  const HyphenatedNumber& ssn_;
  // Runs before this byte have been examined.
  std::size_t examined_until_ = 0;
};

// What a block passes on to the next: its masks, for runs and neighbours that cross the edge.
struct Carry {
  RunLevels base64url;
  RunLevels alnum;
  Mask may_be_digits = 0;
};

template <BlockMasks (*kMasks)(const std::uint8_t*)>
[[gnu::always_inline]] inline bool scan_with(std::span<const std::uint8_t> text,
                                             const HyphenatedNumber& ssn) {
  PortableScanner scanner(text, ssn);
  Carry prev;  // before the text: nothing, like NUL bytes
  auto block_matches = [&](std::size_t base, const std::uint8_t* block) {
    const BlockMasks masks = kMasks(block);
    const Carry cur{prev.base64url.next(masks.base64url), prev.alnum.next(masks.alnum),
                    masks.may_be_digits};
    // Keys and hex strings: 20 [a-zA-Z0-9] in a row. Token first segments: runs of 16
    // base64url characters or more that end (the byte after the block's last may be one).
    const Mask keys = cur.alnum.twenty(prev.alnum);
    const Mask run_ends = cur.base64url.sixteen(prev.base64url) & ~(masks.base64url >> 1);
    // A hyphen with something that may be a digit on either side (the last byte's right
    // neighbour is in the next block).
    const Mask hyphens = masks.hyphens & back<1>(cur.may_be_digits, prev.may_be_digits) &
                         ((cur.may_be_digits >> 1) | kTopBit);
    prev = cur;
    return (keys | run_ends | hyphens) != 0 && scanner.block_matches(base, keys, run_ends, hyphens);
  };
  const std::size_t whole = text.size() - text.size() % kBlock;
  for (std::size_t base = 0; base < whole; base += kBlock) {
    if (block_matches(base, text.data() + base)) return true;
  }
  if (whole == text.size()) return false;
  // The rest, padded with NUL bytes, which belong to no class.
  std::uint8_t tail[kBlock] = {};
  std::memcpy(tail, text.data() + whole, text.size() - whole);
  return block_matches(whole, tail);
}

#if MOBREL_HAVE_AVX2_MASKS
[[gnu::target("avx2")]] bool scan_by_avx2(std::span<const std::uint8_t> text,
                                          const HyphenatedNumber& ssn) {
  return scan_with<block_masks_by_avx2>(text, ssn);
}
#endif

}  // namespace

bool portable_scan(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn) {
#if MOBREL_HAVE_AVX2_MASKS
  if (avx2_supported()) return scan_by_avx2(text, ssn);
#endif
  return portable_scan_by_words(text, ssn);
}

bool portable_scan_by_words(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn) {
  return scan_with<block_masks_by_words>(text, ssn);
}

}  // namespace mobrel::detail
