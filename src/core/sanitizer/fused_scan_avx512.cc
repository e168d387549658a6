// The vectorised scan. Each 64-byte block is classified with one table lookup per byte into
// eight class bits; and-ing each block with itself shifted by 1, 2, 4 and 8 bytes (bytes of
// the previous block shifting in) leaves, per byte, the classes with a run of 2, 4, 8 and 16
// ending there. Every pattern is a conjunction of such runs and of single characters at
// fixed distances, so nearly every question is answered by mask arithmetic on whole blocks:
// 64-bit masks, one bit per byte, shifted with the previous block's bits coming in. Two
// questions need more: the compact token, whose segments have no length bound, goes through
// a small state machine over run ends; hyphenated numbers near non-ASCII bytes go to the
// Unicode-aware matcher. Each block is read once and each fallback costs bounded work, so
// the scan stays linear whatever the text holds.
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "sanitizer/fused_scan.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define MOBREL_HAVE_FUSED_SCAN 1
#else
#define MOBREL_HAVE_FUSED_SCAN 0
#endif

namespace mobrel::detail {

#if MOBREL_HAVE_FUSED_SCAN

bool fused_scan_supported() {
  static const bool supported =
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  return supported;
}

namespace {

using Mask = std::uint64_t;  // one bit per byte of a block, bit 0 first

// Class bits of an ASCII byte; bytes from 0x80 up have none.
constexpr std::uint8_t kHex = 1;           // 0-9a-fA-F
constexpr std::uint8_t kUpperOrDigit = 2;  // 0-9A-Z
constexpr std::uint8_t kAlnum = 4;         // a-zA-Z0-9
constexpr std::uint8_t kBase64Url = 8;     // A-Za-z0-9_-
constexpr std::uint8_t kDigit = 16;        // 0-9
constexpr std::uint8_t kUpperNonHex = 32;  // G-Z: "AKIA"'s 'K' and 'I', "eyJ"'s 'J'
constexpr std::uint8_t kHyphen = 64;       // -
constexpr std::uint8_t kUnderscore = 128;  // _

constexpr std::array<std::uint8_t, 128> kClassTable = [] {
  std::array<std::uint8_t, 128> table{};
  for (int c = 0; c < 128; ++c) {
    const bool digit = c >= '0' && c <= '9';
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool hex_letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    std::uint8_t bits = 0;
    if (digit || hex_letter) bits |= kHex;
    if (digit || upper) bits |= kUpperOrDigit;
    if (digit || upper || lower) bits |= kAlnum | kBase64Url;
    if (c == '-' || c == '_') bits |= kBase64Url;
    if (digit) bits |= kDigit;
    if (upper && !hex_letter) bits |= kUpperNonHex;
    if (c == '-') bits |= kHyphen;
    if (c == '_') bits |= kUnderscore;
    table[c] = bits;
  }
  return table;
}();

// vpermt2b indices that make byte i of a shifted block byte i - K of the text, taken from
// (previous block, current block).
template <int K>
constexpr std::array<std::uint8_t, 64> kShiftIndex = [] {
  std::array<std::uint8_t, 64> index{};
  for (int i = 0; i < 64; ++i) index[i] = static_cast<std::uint8_t>(64 - K + i);
  return index;
}();

constexpr Mask from_bit(unsigned bit) { return bit >= 64 ? 0 : ~Mask{0} << bit; }

// Bit i: bit i - K of (previous, current) taken as one 128-bit mask.
template <int K>
constexpr Mask back(Mask current, Mask previous) {
  static_assert(K > 0 && K < 64);
  return (current << K) | (previous >> (64 - K));
}

// A mask of the current block with the previous block's, for looking back across the
// boundary between them.
struct MaskPair {
  Mask cur;
  Mask prev;

  template <int K>
  Mask back_by() const {
    return back<K>(cur, prev);
  }
};

// Bit e: a non-ASCII byte among bytes e - 12 to e, the span of an all-ASCII hyphenated
// number whose closing edge is at e.
inline Mask near_non_ascii(Mask current, Mask previous) {
  if ((current | previous) == 0) return 0;
  unsigned __int128 bits = (static_cast<unsigned __int128>(current) << 64) | previous;
  bits |= bits << 1;
  bits |= bits << 2;
  bits |= bits << 4;
  bits |= bits << 5;
  return static_cast<Mask>(bits >> 64);
}

// Everything below is compiled for AVX-512 and runs only after fused_scan_supported().
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vbmi"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
#endif

[[gnu::always_inline]] inline __m512i splat(std::uint8_t byte) {
  return _mm512_set1_epi8(static_cast<char>(byte));
}

// A splat whose value the compiler cannot see. GCC rebuilds a visible byte splat from a
// general register at every use inside the loop (two micro-ops, one of them a transfer
// between register files); an opaque one stays in a register or is read from the stack.
[[gnu::always_inline]] inline __m512i kept_splat(std::uint8_t byte) {
  __m512i value = splat(byte);
  asm("" : "+v"(value));
  return value;
}

[[gnu::always_inline]] inline Mask any_of(__m512i classes, __m512i bits) {
  return _mm512_test_epi8_mask(classes, bits);
}

[[gnu::always_inline]] inline Mask any_of(__m512i classes, std::uint8_t bits) {
  return any_of(classes, splat(bits));
}

[[gnu::always_inline]] inline Mask none_of(__m512i classes, std::uint8_t bits) {
  return _mm512_testn_epi8_mask(classes, splat(bits));
}

[[gnu::always_inline]] inline Mask equal_to(__m512i bytes, char c) {
  return _mm512_cmpeq_epi8_mask(bytes, splat(static_cast<std::uint8_t>(c)));
}

// Bitwise: the bits of `if_set` where `selector` has a one, of `if_clear` elsewhere.
[[gnu::always_inline]] inline __m512i select_bits(__m512i selector, __m512i if_set,
                                                  __m512i if_clear) {
  return _mm512_ternarylogic_epi64(if_set, if_clear, selector, 0xE4);
}

template <int K>
[[gnu::always_inline]] inline __m512i shifted(__m512i current, __m512i previous) {
  static_assert(K > 0 && K < 64);
  if constexpr (K % 4 == 0) {
    // The zero-masking form: the plain one starts from an "undefined" vector that GCC's
    // uninitialised-use analysis flags.
    return _mm512_maskz_alignr_epi32(0xFFFF, current, previous, 16 - K / 4);
  } else {
    return _mm512_permutex2var_epi8(previous, _mm512_loadu_si512(kShiftIndex<K>.data()), current);
  }
}

// One block's vectors: raw bytes, class bits, and the classes with runs of 2, 4, 8 and 16
// ending at each byte; and the masks every block needs.
struct Block {
  __m512i raw;
  __m512i classes;
  __m512i run2;
  __m512i run4;
  __m512i run8;
  __m512i run16;
  Mask hyphens;
  Mask non_ascii;
  Mask digits;  // filled only when digits_known
  bool digits_known;
};

class FusedScanner {
 public:
  FusedScanner(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn)
      : text_(text),
        ssn_(ssn),
        table_low_(_mm512_loadu_si512(kClassTable.data())),
        table_high_(_mm512_loadu_si512(kClassTable.data() + 64)) {
    const __m512i zero = _mm512_setzero_si512();
    // Before the text: NUL bytes, which belong to no class, like the edge of the text.
    prev_ = Block{zero, zero, zero, zero, zero, zero, 0, 0, 0, true};
  }

  bool run() {
    const std::size_t size = text_.size();
    std::size_t base = 0;
    for (; base + 64 <= size; base += 64) {
      if (scan_block(base, _mm512_loadu_si512(text_.data() + base))) return true;
    }
    // The rest, then NUL padding up to and including byte `size`, the closing edge of a
    // hyphenated number that ends the text.
    alignas(64) std::uint8_t tail[128] = {};
    if (size > base) std::memcpy(tail, text_.data() + base, size - base);
    for (std::size_t offset = 0; base + offset <= size; offset += 64) {
      if (scan_block(base + offset, _mm512_load_si512(tail + offset))) return true;
    }
    return false;
  }

 private:
  [[gnu::always_inline]] inline bool scan_block(std::size_t base, __m512i raw) {
    Block cur;
    cur.raw = raw;
    cur.non_ascii = _mm512_movepi8_mask(raw);
    cur.classes = _mm512_maskz_permutex2var_epi8(~cur.non_ascii, table_low_, raw, table_high_);
    cur.run2 = cur.classes & shifted<1>(cur.classes, prev_.classes);
    cur.run4 = cur.run2 & shifted<2>(cur.run2, prev_.run2);
    cur.run8 = cur.run4 & shifted<4>(cur.run4, prev_.run4);
    cur.run16 = cur.run8 & shifted<8>(cur.run8, prev_.run8);
    cur.hyphens = any_of(cur.classes, hyphen_);
    cur.digits_known = false;

    // Every pattern but the hyphenated number needs 16 base64url characters in a row.
    const Mask long_runs = any_of(cur.run16, base64url_);
    // Bit e: a hyphen at e - 8, where the first hyphen of a number closing at e would be;
    // written in ASCII, the number has its second hyphen at e - 5.
    const Mask first_hyphens = back<8>(cur.hyphens, prev_.hyphens);
    const Mask hyphen_pairs = first_hyphens & back<5>(cur.hyphens, prev_.hyphens);
    const Mask unsure_hyphens = (cur.non_ascii | prev_.non_ascii) != 0 ? first_hyphens : 0;
    // Most blocks end here, on one well-predicted branch.
    if ((long_runs | hyphen_pairs | unsure_hyphens | open_segments_) != 0 &&
        unusual_block(base, cur, long_runs != 0, first_hyphens, hyphen_pairs,
                      unsure_hyphens != 0)) {
      return true;
    }
    prev_ = cur;
    return false;
  }

  [[gnu::always_inline]] inline bool unusual_block(std::size_t base, Block& cur, bool long_runs,
                                                   Mask first_hyphens, Mask hyphen_pairs,
                                                   bool unsure_hyphens) {
    // While a token segment is open and no run ends in the block, the block continues that
    // segment, and token starts inside it add nothing.
    const Mask run_ends = open_segments_ != 0 ? _mm512_testn_epi8_mask(cur.classes, base64url_) : 0;
    const bool want_tokens = open_segments_ == 0 || run_ends != 0;
    Mask token_candidates = 0;
    if (long_runs && long_runs_match(base, cur, want_tokens, token_candidates)) return true;
    if (want_tokens && (token_candidates | open_segments_) != 0 &&
        compact_token_step(base, cur, token_candidates, run_ends)) {
      return true;
    }
    return (unsure_hyphens || digit_before_pair(cur, hyphen_pairs)) &&
           hyphenated_number_step(base, cur, first_hyphens);
  }

  // Written in ASCII, a number closing at e also has a digit at e - 9. The block keeps its
  // digit mask for the next one, whose first edges look back into it.
  bool digit_before_pair(Block& cur, Mask hyphen_pairs) const {
    if (hyphen_pairs == 0) return false;
    cur.digits = any_of(cur.classes, digit_);
    cur.digits_known = true;
    if ((hyphen_pairs & (cur.digits << 9)) != 0) return true;
    if ((hyphen_pairs & 0x1FF) == 0) return false;
    const Mask prev_digits = prev_.digits_known ? prev_.digits : any_of(prev_.classes, digit_);
    return (hyphen_pairs & (prev_digits >> 55)) != 0;
  }

  MaskPair classes_in(const Block& cur, std::uint8_t bits) const {
    return {any_of(cur.classes, bits), any_of(prev_.classes, bits)};
  }

  MaskPair bytes_equal(const Block& cur, char c) const {
    return {equal_to(cur.raw, c), equal_to(prev_.raw, c)};
  }

  // The long hex run and the three prefixed runs, byte-exact. When `want_tokens`,
  // `token_candidates` receives the bytes where a compact token's first segment may reach
  // its minimum length.
  //
  // A cheap filter first: each pattern's run (or most of it) and the class of its prefix's
  // last character, that many bytes back, are and-ed into one vector, the class bit moved
  // onto the run's bit by a 16-bit shift (bits crossing into the neighbouring byte land
  // above bit 3). Per byte, bit 0: a hex run of 32; bit 1: an AWS key may end here; bit 2:
  // an "sk-" or "ghp_" key may; bit 3: a token's first segment may. One test clears the
  // usual block; exact tests follow only for the bits that are set.
  bool long_runs_match(std::size_t base, const Block& cur, bool want_tokens,
                       Mask& token_candidates) const {
    const __m512i run32 = cur.run16 & shifted<16>(cur.run16, prev_.run16);
    // Without '-', '_' or G-Z in reach (hex digests, say) only the hex run is possible.
    if (any_of(cur.classes | prev_.classes, prefix_ends_) == 0) {
      return any_of(run32, hex_) != 0;
    }
    const __m512i run20 = cur.run16 & shifted<16>(cur.run4, prev_.run4);
    const __m512i classes20 = shifted<20>(cur.classes, prev_.classes);
    // "AKIA" then 16 of [0-9A-Z]: 16 of them ending here, 'K' and 'I' (G-Z) 18 and 17 back.
    const __m512i aws = cur.run16 & _mm512_srli_epi16(shifted<17>(cur.run2, prev_.run2), 4);
    // "sk-" then 20 of [a-zA-Z0-9]: a hyphen 20 back. "eyJ" then 20 of [A-Za-z0-9_-]: 'J'
    // (G-Z) 20 back.
    const __m512i at20 = run20 & select_bits(alnum_, _mm512_srli_epi16(classes20, 4),
                                             _mm512_srli_epi16(classes20, 2));
    // "ghp_" then 36 of [a-zA-Z0-9]: 32 of them ending here, an underscore 36 back.
    const __m512i gh = run32 & _mm512_srli_epi16(shifted<36>(cur.classes, prev_.classes), 5);
    const __m512i any =
        select_bits(hex_, run32,
                    _mm512_ternarylogic_epi64(select_bits(upper_or_digit_, aws, at20), gh, alnum_,
                                              0xF8));  // a | (b & c)
    if (any_of(any, want_tokens ? filter_bits_ : exact_bits_) == 0) return false;
    if ((!want_tokens || any_of(any, exact_bits_) != 0) &&
        prefixed_run_match(base, cur, run32, aws, at20, gh)) {
      return true;
    }
    if (want_tokens) token_candidates = any_of(at20, base64url_);
    return false;
  }

  // The exact tests behind bits 0 to 2 of long_runs_match's filter.
  bool prefixed_run_match(std::size_t base, const Block& cur, __m512i run32, __m512i aws,
                          __m512i at20, __m512i gh) const {
    if (any_of(run32, kHex) != 0) return true;
    if (any_of(aws, kUpperOrDigit) != 0) {
      const MaskPair letter_a = bytes_equal(cur, 'A');
      if ((any_of(cur.run16, kUpperOrDigit) & letter_a.back_by<19>() &
           bytes_equal(cur, 'K').back_by<18>() & bytes_equal(cur, 'I').back_by<17>() &
           letter_a.back_by<16>()) != 0) {
        return true;
      }
    }
    const Mask sk = any_of(at20, kAlnum);
    if (sk != 0 && prefix_before(base, sk, "sk-", 20)) return true;
    const Mask ghp = any_of(gh & shifted<32>(cur.run4, prev_.run4), kAlnum);  // all 36
    return ghp != 0 && prefix_before(base, ghp, "ghp_", 36);
  }

  // Whether `prefix` ends `body` bytes before one of the candidate ends. A body run of that
  // length is preceded by a non-body byte, so candidates lie at least `body` bytes apart and
  // a block holds only a few.
  bool prefix_before(std::size_t base, Mask candidates, std::string_view prefix,
                     std::size_t body) const {
    for (; candidates != 0; candidates &= candidates - 1) {
      const std::size_t end = base + static_cast<unsigned>(__builtin_ctzll(candidates)) + 1;
      if (end < body + prefix.size()) continue;
      const std::size_t start = end - body - prefix.size();
      if (std::memcmp(text_.data() + start, prefix.data(), prefix.size()) == 0) return true;
    }
    return false;
  }

  // Follows compact tokens from run end to run end. A first segment is open from a qualified
  // start to the end of its run; there a full stop and the marker open the second segment,
  // which completes a match if its own run ends at a full stop. `run_ends` may be left 0
  // when no segment is open.
  bool compact_token_step(std::size_t base, const Block& cur, Mask token_candidates,
                          Mask run_ends) {
    if (open_segments_ == 0) run_ends = none_of(cur.classes, kBase64Url);
    Mask token_starts = 0;
    if (token_candidates != 0) {
      token_starts = token_candidates & bytes_equal(cur, 'e').back_by<22>() &
                     bytes_equal(cur, 'y').back_by<21>() & bytes_equal(cur, 'J').back_by<20>();
    }
    const Mask dots = equal_to(cur.raw, '.');
    unsigned from = 0;
    while (from < 64) {
      if (open_segments_ == 0) {
        const Mask next = token_starts & from_bit(from);
        if (next == 0) break;
        from = static_cast<unsigned>(__builtin_ctzll(next));
        open_segments_ = kFirstSegment;
      }
      const Mask ends = run_ends & from_bit(from);
      // A run that goes on into the next block keeps its segment open. (Starts inside an
      // open second segment need no record: that run matches if it ends at a full stop,
      // and cannot be a first segment otherwise.)
      if (ends == 0) break;
      const auto end = static_cast<unsigned>(__builtin_ctzll(ends));
      const bool dot = ((dots >> end) & 1) != 0;
      if ((open_segments_ & kSecondSegment) != 0 && dot) return true;
      // A second segment that ends without a full stop cannot be a first one either.
      open_segments_ = (open_segments_ & kFirstSegment) != 0 && dot && marker_at(base + end + 1)
                           ? kSecondSegment
                           : 0;
      from = end + 1;
    }
    return false;
  }

  bool marker_at(std::size_t pos) const {
    return pos + 3 <= text_.size() && text_[pos] == 'e' && text_[pos + 1] == 'y' &&
           text_[pos + 2] == 'J';
  }

  // Hyphenated numbers, by their closing edge e: digits at e-11..e-9, e-7..e-6 and
  // e-4..e-1, hyphens at e-8 and e-5, non-word bytes at e-12 and e. The conditions meet on
  // the digit bit (hyphen and word bits moved there by 16-bit shifts) for one test. Exact
  // when those 13 bytes are ASCII; otherwise the Unicode-aware matcher decides from the
  // first hyphen.
  bool hyphenated_number_step(std::size_t base, const Block& cur, Mask first_hyphens) const {
    const Block& prev = prev_;
    const __m512i digits =
        _mm512_ternarylogic_epi64(shifted<1>(cur.run4, prev.run4), shifted<6>(cur.run2, prev.run2),
                                  shifted<9>(cur.run2, prev.run2), 0x80) &
        shifted<11>(cur.classes, prev.classes);
    const __m512i hyphens =
        shifted<5>(cur.classes, prev.classes) & shifted<8>(cur.classes, prev.classes);
    const __m512i words = cur.classes | shifted<12>(cur.classes, prev.classes);
    // digits & hyphens & ~alnum & ~underscore, on the digit bit.
    const __m512i ascii =
        _mm512_ternarylogic_epi64(_mm512_ternarylogic_epi64(digits, _mm512_srli_epi16(hyphens, 2),
                                                            _mm512_slli_epi16(words, 2), 0x40),
                                  _mm512_srli_epi16(words, 3), digits, 0x30);
    const Mask ascii_match = any_of(ascii, digit_);
    const Mask unsure = near_non_ascii(cur.non_ascii, prev.non_ascii);
    if ((ascii_match & ~unsure) != 0) return true;
    for (Mask edges = first_hyphens & unsure; edges != 0; edges &= edges - 1) {
      const std::size_t hyphen = base + static_cast<unsigned>(__builtin_ctzll(edges)) - 8;
      if (ssn_.matches_at_hyphen(text_, hyphen)) return true;
    }
    return false;
  }

  std::span<const std::uint8_t> text_;
  const HyphenatedNumber& ssn_;
  const __m512i table_low_;
  const __m512i table_high_;
  // The constants of the per-block paths.
  const __m512i hex_ = kept_splat(kHex);
  const __m512i upper_or_digit_ = kept_splat(kUpperOrDigit);
  const __m512i alnum_ = kept_splat(kAlnum);
  const __m512i base64url_ = kept_splat(kBase64Url);
  const __m512i digit_ = kept_splat(kDigit);
  const __m512i hyphen_ = kept_splat(kHyphen);
  const __m512i prefix_ends_ = kept_splat(kHyphen | kUnderscore | kUpperNonHex);
  const __m512i exact_bits_ = kept_splat(kHex | kUpperOrDigit | kAlnum);
  const __m512i filter_bits_ = kept_splat(kHex | kUpperOrDigit | kAlnum | kBase64Url);
  Block prev_;
  // Compact-token segments open at the end of the previous block.
  static constexpr unsigned kFirstSegment = 1;
  static constexpr unsigned kSecondSegment = 2;
  unsigned open_segments_ = 0;
};

}  // namespace

bool fused_scan(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn) {
  FusedScanner scanner(text, ssn);
  return scanner.run();
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else  // no vectorised scan for this processor family

bool fused_scan_supported() { return false; }

bool fused_scan(std::span<const std::uint8_t>, const HyphenatedNumber&) { return false; }

#endif

}  // namespace mobrel::detail
