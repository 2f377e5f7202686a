#include "package/lz_codec.h"

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
        for (size_t i = 0; i < slots_per_bucket; ++i) {
            const uint64_t slot = slots[(head + 2 * slots_per_bucket - 1 - i) % slots_per_bucket];
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
        head = (head + 1) % slots_per_bucket;

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

// Reads one varint, possibly continuing a partial one kept in the state.
// Returns false when the input ends inside it.
bool read_varint(DecoderState& s, const uint8_t*& in, const uint8_t* end, uint64_t& value) {
    while (in < end) {
        const uint8_t b = *in++;
        if (s.varint_shift >= 64 || (s.varint_shift == 63 && (b & 0x7E)))
            throw std::runtime_error(malformed);
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

}  // namespace

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
            if (s.token > n - s.cursor) throw std::runtime_error(malformed);
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
            if (c > UINT64_MAX - 4) throw std::runtime_error(malformed);
            const uint64_t len = c + 4;
            if (dist > s.cursor || s.cursor - dist >= n || len > n - s.cursor)
                throw std::runtime_error(malformed);
            uint8_t* out = s.output.data();
            const uint64_t src = s.cursor - dist;
            if (src + len <= s.cursor) {
                std::memcpy(out + s.cursor, out + src, len);
            } else {
                for (uint64_t i = 0; i < len; ++i) out[s.cursor + i] = out[src + i];
            }
            s.cursor += len;
            s.state = 1;
            break;
        }
        default:
            throw std::runtime_error(malformed);
        }
    }
}

}  // namespace qh
