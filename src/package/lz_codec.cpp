#include "package/lz_codec.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qh {

namespace {

constexpr size_t bucket_count = 4096;
constexpr size_t slots_per_bucket = 12;
constexpr size_t bucket_words = slots_per_bucket + 1;  // head index, then the slots
constexpr size_t min_match = 5;

const char* const malformed = "Malformed data while uncompressing";

uint32_t hash5(const uint8_t* p) {
    uint32_t h = 0x811C9DC5u;
    for (int i = 0; i < 5; ++i) h = (h ^ p[i]) * 0x01000193u;
    return h;
}

uint64_t vsize(uint64_t x) {
    return 1 + (x > 127) + (x > 16383) + (x > 2097151);
}

void flush_literals(std::vector<uint8_t>& out, const uint8_t* run, size_t k) {
    if (k == 0) return;
    append_varint(out, 2 * static_cast<uint64_t>(k) + 1);
    out.insert(out.end(), run, run + k);
}

}  // namespace

void append_varint(std::vector<uint8_t>& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> lz_compress(std::string_view text) {
    const auto* t = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    std::vector<uint8_t> out;
    out.reserve(n / 2 + 16);
    append_varint(out, n);

    std::vector<uint64_t> table(bucket_count * bucket_words, 0);
    size_t run_start = 0;  // the pending literal run is t[run_start, p)
    size_t p = 0;
    while (p < n) {
        if (p + min_match > n) {  // fewer than five bytes remain
            ++p;
            continue;
        }
        uint64_t* bucket = &table[(hash5(t + p) % bucket_count) * bucket_words];
        uint64_t& head = bucket[0];
        uint64_t* slots = bucket + 1;

        uint64_t best_gain = 0, best_len = 0, best_dist = 0;
        // From the most recently written slot back to the oldest.
        size_t at = head;
        for (size_t i = 0; i < slots_per_bucket; ++i) {
            at = (at == 0 ? slots_per_bucket : at) - 1;
            const uint64_t slot = slots[at];
            if (slot == 0) break;
            const size_t c = slot - 1;
            const uint64_t d = p - c;
            uint64_t m = 0;
            if (t[c] == t[p]) {
                m = 1;
                while (p + m < n && t[c + m] == t[p + m]) ++m;
            }
            const uint64_t e = vsize(16 * d) + (m >= 8 ? vsize(m - 4) : 0);
            const uint64_t gain = e <= m ? m - e : 0;
            if (gain > best_gain) {
                best_gain = gain;
                best_len = m;
                best_dist = d;
            }
        }
        slots[head] = p + 1;
        head = head + 1 == slots_per_bucket ? 0 : head + 1;

        if (best_len >= min_match) {
            flush_literals(out, t + run_start, p - run_start);
            if (best_len - 4 < 8) {
                append_varint(out, ((best_dist << 3) | (best_len - 4)) << 1);
            } else {
                append_varint(out, best_dist << 4);
                append_varint(out, best_len - 4);
            }
            p += best_len;
            run_start = p;
        } else {
            ++p;
        }
    }
    flush_literals(out, t + run_start, n - run_start);
    return out;
}

namespace {

// Whole tokens take at most two varints of ten bytes plus the eleventh byte
// that proves a varint over-long; with this much input left no token read can
// run out of input, so the fast path below never needs to stop mid-token.
constexpr ptrdiff_t fast_margin = 32;
constexpr uint64_t wide_literal = 16;

[[noreturn]] void fail_malformed() { throw std::runtime_error(malformed); }

void copy8(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 8); }
void copy4(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 4); }

// Copies a match forward as if byte by byte, writing nothing past dst + len.
// From an offset of eight or more, every 8-byte step reads only bytes that are
// already final, so overlapping ranges still give the byte-by-byte result.
void copy_match(uint8_t* dst, uint64_t dist, uint64_t len) {
    if (dist == 0) {
        // Every byte would copy itself, and bytes past the cursor are zero.
        // Writing the zeros also clears what a wide literal copy left there.
        std::memset(dst, 0, len);
        return;
    }
    if (dist < 8) {
        // The copied bytes repeat with period `dist`; after a few bytes one at
        // a time, a multiple of it of at least eight serves as the offset.
        const uint64_t period = (8 + dist - 1) / dist * dist;
        const uint64_t head = std::min(len, period - dist);
        const uint8_t* from = dst - dist;
        for (uint64_t i = 0; i < head; ++i) dst[i] = from[i];
        dst += head;
        len -= head;
        dist = period;
    }
    const uint8_t* src = dst - dist;
    if (len < 4) {
        for (uint64_t i = 0; i < len; ++i) dst[i] = src[i];
    } else if (len < 8) {
        copy4(dst, src);
        copy4(dst + len - 4, src + len - 4);
    } else if (len <= 16) {
        copy8(dst, src);
        copy8(dst + len - 8, src + len - 8);
    } else if (dist >= len) {
        std::memcpy(dst, src, len);
    } else {
        for (uint64_t i = 0; i + 8 <= len; i += 8) copy8(dst + i, src + i);
        copy8(dst + len - 8, src + len - 8);
    }
}

// One varint from input known to hold at least eleven more bytes.
uint64_t read_varint_fast(const uint8_t*& in) {
    uint64_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
        const uint8_t b = *in++;
        if (shift == 63 && (b & 0xFE)) fail_malformed();  // a bit beyond 64, or an eleventh byte
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
}

// Decodes whole tokens while the input certainly holds them, without the
// resumable bookkeeping; returns at the first token it cannot finish (a
// literal longer than the input left) for the resumable path to take over.
// Short literals are copied 16 bytes wide; what lands past the cursor is
// zeroed again before returning, so an early stop still leaves a zero tail.
void decode_fast(DecoderState& s, const uint8_t*& in, const uint8_t* end) {
    uint8_t* const out = s.output.data();
    const uint64_t n = s.output.size();
    uint64_t cur = s.cursor, high = cur;
    const uint8_t* p = in;
    while (cur < n && end - p >= fast_margin) {
        const uint8_t* q = p;
        const uint64_t v = read_varint_fast(q);
        if (v & 1) {
            const uint64_t k = v >> 1;
            if (k > n - cur) fail_malformed();
            const auto left = static_cast<uint64_t>(end - q);
            if (k <= wide_literal && n - cur >= wide_literal && left >= wide_literal) {
                std::memcpy(out + cur, q, wide_literal);
                high = std::max(high, cur + wide_literal);
            } else if (k <= left) {
                std::memcpy(out + cur, q, k);
            } else {
                break;
            }
            q += k;
            cur += k;
        } else {
            uint64_t c = (v >> 1) & 7;
            if (c == 0) {
                c = read_varint_fast(q);
                if (c > UINT64_MAX - 4) fail_malformed();
            }
            const uint64_t len = c + 4, dist = v >> 4;
            if (dist > cur || cur - dist >= n || len > n - cur) fail_malformed();
            copy_match(out + cur, dist, len);
            cur += len;
        }
        p = q;
    }
    if (high > cur) std::memset(out + cur, 0, high - cur);
    s.cursor = cur;
    in = p;
}

// Reads one varint, possibly continuing a partial one kept in the state.
// Returns false when the input ends inside it.
bool read_varint(DecoderState& s, const uint8_t*& in, const uint8_t* end, uint64_t& value) {
    while (in < end) {
        const uint8_t b = *in++;
        if (s.varint_shift >= 64 || (s.varint_shift == 63 && (b & 0x7E))) fail_malformed();
        s.varint_value |= static_cast<uint64_t>(b & 0x7F) << s.varint_shift;
        s.varint_shift += 7;
        if (!(b & 0x80)) {
            value = s.varint_value;
            s.varint_value = 0;
            s.varint_shift = 0;
            return true;
        }
    }
    return false;
}

// One varint of a message scanned whole; false when the input ends inside it
// or it runs past 64 bits.
bool scan_varint(const uint8_t*& in, const uint8_t* end, uint64_t& value) {
    value = 0;
    for (unsigned shift = 0; in < end; shift += 7) {
        const uint8_t b = *in++;
        if (shift == 63 && (b & 0xFE)) return false;
        value |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

}  // namespace

uint64_t lz_described_size(const uint8_t* input, size_t length) {
    const uint8_t* in = input;
    const uint8_t* const end = input + length;
    uint64_t n = 0;
    if (!scan_varint(in, end, n)) return 0;
    // The same checks as the decoder's, against the same cursor.
    uint64_t cur = 0;
    while (cur < n) {
        uint64_t v;
        if (!scan_varint(in, end, v)) break;
        if (v & 1) {
            const uint64_t k = v >> 1;
            if (k > n - cur) break;
            const uint64_t present = std::min<uint64_t>(k, static_cast<uint64_t>(end - in));
            in += present;
            cur += present;
            if (present < k) break;
        } else {
            uint64_t c = (v >> 1) & 7;
            if (c == 0 && !scan_varint(in, end, c)) break;
            if (c > UINT64_MAX - 4) break;
            const uint64_t len = c + 4, dist = v >> 4;
            if (dist > cur || cur - dist >= n || len > n - cur) break;
            cur += len;
        }
    }
    return cur;
}

LzStatus lz_decompress(DecoderState& s, const uint8_t* input, size_t length,
                       std::vector<uint8_t>* trailing) {
    const uint8_t* in = input;
    const uint8_t* const end = input + length;
    for (;;) {
        switch (s.state) {
        case 0: {
            if (s.varint_shift == 0) s.output.clear();
            uint64_t n;
            if (!read_varint(s, in, end, n)) return LzStatus::not_started;
            if (s.max_output != 0 && n > s.max_output)
                throw std::length_error("Uncompressed data in message deemed too large");
            s.output.assign(n, 0);
            s.cursor = 0;
            s.state = 1;
            break;
        }
        case 1: {
            if (s.cursor == s.output.size()) {
                if (trailing) trailing->insert(trailing->end(), in, end);
                s.state = 0;
                return LzStatus::complete;
            }
            if (s.varint_shift == 0 && end - in >= fast_margin) {
                decode_fast(s, in, end);
                if (s.cursor == s.output.size()) break;
            }
            if (in == end) return LzStatus::incomplete;
            uint64_t v;
            if (!read_varint(s, in, end, v)) return LzStatus::incomplete;
            s.token = (v & 1) ? v >> 1 : v;
            s.match_length = 0;
            s.state = (v & 1) ? 2 : 3;
            break;
        }
        case 2: {
            const uint64_t n = s.output.size();
            if (s.token > n - s.cursor) fail_malformed();
            if (in == end) return LzStatus::incomplete;
            const size_t avail = static_cast<size_t>(end - in);
            const size_t take = s.token < avail ? static_cast<size_t>(s.token) : avail;
            std::memcpy(s.output.data() + s.cursor, in, take);
            in += take;
            s.cursor += take;
            s.token -= take;
            if (s.token != 0) return LzStatus::incomplete;
            s.state = 1;
            break;
        }
        case 3: {
            uint64_t c = (s.token >> 1) & 7;
            if (c == 0) {
                if (!read_varint(s, in, end, c)) return LzStatus::incomplete;
            }
            const uint64_t n = s.output.size();
            const uint64_t dist = s.token >> 4;
            if (c > UINT64_MAX - 4) fail_malformed();
            const uint64_t len = c + 4;
            if (dist > s.cursor || s.cursor - dist >= n || len > n - s.cursor)
                fail_malformed();
            copy_match(s.output.data() + s.cursor, dist, len);
            s.cursor += len;
            s.state = 1;
            break;
        }
        default:
            fail_malformed();
        }
    }
}

}  // namespace qh
