// The short names of one directory from the set of its long names.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "heaparray.h"
#include "pathtext.h"
#include "shortnames.h"

namespace winpath {
namespace {

// What a byte is to a short name: whether a legal 8.3 name may hold it, and
// the character it becomes in an alias (0 when it is dropped).
struct char_class {
    bool legal;
    char alias;
};

constexpr bool one_of(const char *set, int c)
{
    for (; *set; set++)
        if (*set == c)
            return true;
    return false;
}

constexpr std::array<char_class, 256> CHARS = [] {
    std::array<char_class, 256> t{};
    for (int c = 0; c < 256; c++) {
        t[c].legal = c < 0x80 && c != ' ' && !one_of("\"*+,/:;<=>?[\\]|", c);
        // Characters that cannot stand in a short name become "_"; Windows
        // names never hold the last nine, POSIX names may.
        if (c > ' ' && c < 0x7F)
            t[c].alias = one_of("+,;=[]\"*/:<>?\\|", c) ? '_' : upper(static_cast<char>(c));
    }
    return t;
}();

} // namespace

bool legal_83(std::string_view name)
{
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < name.size(); i++) {
        const unsigned char c = name[i];
        if (!CHARS[c].legal)
            return false;
        if (c == '.') {
            if (dot != std::string_view::npos)
                return false;
            dot = i;
        }
    }
    const size_t base = dot == std::string_view::npos ? name.size() : dot;
    const size_t ext = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    return base >= 1 && base <= 8 && ext <= 3;
}

namespace {

// The length of the valid UTF-8 sequence at s[i], with its code point; 0
// when no valid sequence starts there.
size_t utf8_at(std::string_view s, size_t i, unsigned &cp)
{
    const unsigned char b = s[i];
    size_t n = 1;
    unsigned lo = 0x80, hi = 0xBF; // the range of the second byte
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
        lo = b == 0xE0 ? 0xA0 : lo; // no overlong forms
        hi = b == 0xED ? 0x9F : hi; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
        lo = b == 0xF0 ? 0x90 : lo;
        hi = b == 0xF4 ? 0x8F : hi; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i < n)
        return 0;
    for (size_t k = 1; k < n; k++, lo = 0x80, hi = 0xBF) {
        const unsigned char c = s[i + k];
        if (c < lo || c > hi)
            return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    return n;
}

} // namespace

unsigned name_checksum(std::string_view name)
{
    uint32_t v = 0;
    const auto add = [&v](uint32_t unit) { v = (v * 0x25 + unit) & 0xFFFF; };
    for (size_t i = 0; i < name.size();) {
        if (static_cast<unsigned char>(name[i]) < 0x80) {
            add(static_cast<unsigned char>(name[i++]));
            continue;
        }
        unsigned cp = 0;
        const size_t n = utf8_at(name, i, cp);
        if (n == 0) {
            add(static_cast<unsigned char>(name[i++]));
            continue;
        }
        i += n;
        if (cp < 0x10000) {
            add(cp);
        } else {
            add(0xD800 + ((cp - 0x10000) >> 10));
            add(0xDC00 + (cp & 0x3FF));
        }
    }
    // The signed 32-bit product, made positive; it is never INT32_MIN, as
    // the factor is odd and v below 2^16.
    int64_t t = static_cast<int32_t>(v * 314159269u);
    t = (t < 0 ? -t : t) % 1000000007;
    return static_cast<unsigned>(t) & 0xFFFF;
}

namespace {

constexpr unsigned PLAIN_ALIASES = 4;  // ~1 to ~4 before the checksum form
constexpr unsigned NO_LIMIT = 9999999; // the most digits a base of 8 leaves room for

// The parts of an alias that come from the long name.
struct stem {
    char base[7];           // cleaned, cut to 6 characters
    char ext[4];            // up to 3 characters
    unsigned char base_len; // cleaned length before the cut, 255 at most
};

stem stem_of(std::string_view name)
{
    stem s{"", "", 0};
    const size_t lead = name.find_first_not_of('.');
    name = lead == std::string_view::npos ? std::string_view{} : sub(name, lead);
    const size_t dot = name.rfind('.');
    for (unsigned char c : sub(name, 0, dot))
        if (char a = c == '.' ? '\0' : CHARS[c].alias) {
            if (s.base_len < 6)
                s.base[s.base_len] = a;
            s.base_len += s.base_len < 255;
        }
    s.base[s.base_len < 6 ? s.base_len : 6] = '\0';
    size_t ext = 0;
    if (dot != std::string_view::npos)
        for (unsigned char c : sub(name, dot + 1))
            if (char a = CHARS[c].alias; a && ext < 3)
                s.ext[ext++] = a;
    s.ext[ext] = '\0';
    return s;
}

// The alias `before`~k.`ext`, `before` cut so that the base stays within 8
// characters: LO8FE5~9, LO8FE~10.
void make_alias(std::string_view before, unsigned k, std::string_view ext, short_name &out)
{
    char digits[8];
    size_t n = 0;
    for (; k; k /= 10)
        digits[n++] = static_cast<char>('0' + k % 10);
    out.assign(sub(before, 0, 7 - n));
    out.append('~');
    while (n)
        out.append(digits[--n]);
    if (!ext.empty()) {
        out.append('.');
        out.append(ext);
    }
}

// A text of up to 12 bytes and no NUL, zero-padded, as a table key.
struct key12 {
    uint64_t a;
    uint32_t b;
    bool operator==(const key12 &o) const { return a == o.a && b == o.b; }
};

key12 key_of(std::string_view s)
{
    char bytes[12] = {};
    memcpy(bytes, s.data(), s.size() < 12 ? s.size() : 12);
    key12 k;
    memcpy(&k.a, bytes, 8);
    memcpy(&k.b, bytes + 8, 4);
    return k;
}

// Keys, each with a number, in open addressing, at most half full.
class key_table {
  public:
    // The number kept for `k`, added as 0 when it is new (`added` says so);
    // nullptr when memory runs out.
    unsigned *add(key12 k, bool &added)
    {
        if (2 * (count_ + 1) > slots_.size() && !reserve(count_ + 1))
            return nullptr;
        slot &s = find(k);
        added = s.key.a == 0; // no key starts with a NUL
        if (added) {
            s.key = k;
            count_++;
        }
        return &s.value;
    }

    // Room for `keys` keys; false when memory runs out.
    bool reserve(size_t keys)
    {
        size_t size = slots_.size() ? slots_.size() : 64;
        while (size < 2 * keys)
            size *= 2;
        if (size == slots_.size())
            return true;
        heap_array<slot> old;
        old.swap(slots_);
        if (!slots_.resize(size)) {
            old.swap(slots_);
            return false;
        }
        for (const slot &s : old)
            if (s.key.a != 0)
                find(s.key) = s;
        return true;
    }

  private:
    struct slot {
        key12 key;
        unsigned value;
    };
    slot &find(key12 k)
    {
        const size_t mask = slots_.size() - 1;
        const uint64_t h = (k.a ^ (uint64_t{k.b} * 0x9E3779B97F4A7C15u)) * 0x9E3779B97F4A7C15u;
        for (size_t i = (h >> 32) & mask;; i = (i + 1) & mask)
            if (slots_[i].key.a == 0 || slots_[i].key == k)
                return slots_[i];
    }
    heap_array<slot> slots_;
    size_t count_ = 0;
};

// Hands out the short names of one directory, never one twice.
class namer {
  public:
    bool init(size_t names) { return taken_.reserve(names); }
    bool keep(std::string_view legal)
    {
        short_name upper_case;
        for (char c : legal)
            upper_case.append(upper(c));
        bool added;
        return taken_.add(key_of(upper_case.view()), added) != nullptr;
    }
    // Gives `out` the first alias `before`~k.`ext`, k from 1 to `last`, that
    // is not yet a short name; `out` is left empty when there is none. False
    // when memory runs out.
    bool take(std::string_view before, std::string_view ext, unsigned last, short_name &out)
    {
        // Both forms of alias are "before~k.ext", so one count serves a
        // stem's plain aliases and an equal checksum form: every k below it
        // is taken, and stays so.
        char stem[12];
        memcpy(stem, before.data(), before.size());
        stem[before.size()] = '.';
        memcpy(stem + before.size() + 1, ext.data(), ext.size());
        bool added;
        unsigned *k = next_.add(key_of({stem, before.size() + 1 + ext.size()}), added);
        if (!k)
            return false;
        out.clear();
        for (*k = *k ? *k : 1; *k <= last; ++*k) {
            make_alias(before, *k, ext, out);
            if (!taken_.add(key_of(out.view()), added))
                return false;
            if (added) {
                ++*k;
                return true;
            }
        }
        out.clear();
        return true;
    }

  private:
    key_table taken_; // the short names handed out, upper case
    key_table next_;  // for each "before.ext", the first k that may be free
};

// A long name to be sorted: its 8 bytes after the part that all the names
// share, as a number that sorts as they do, decide most comparisons. Its
// stem is kept with it for the passes that follow.
struct sort_item {
    uint64_t key;
    uint32_t index;
    stem s;
};

uint64_t sort_key(std::string_view s, size_t skip)
{
    uint64_t key = 0;
    for (size_t i = skip; i < skip + 8; i++)
        key = key << 8 | (i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    return key;
}

} // namespace

DWORD short_names(const std::string_view *names, size_t count, short_name *out)
{
    namer n;
    heap_array<sort_item> order; // the long names, in byte order
    if (count > UINT32_MAX || !n.init(count))
        return ERROR_NOT_ENOUGH_MEMORY;
    size_t shared = std::string_view::npos;
    for (size_t i = 0; i < count; i++) {
        out[i].clear();
        if (legal_83(names[i])) {
            out[i].assign(names[i]);
            if (!n.keep(names[i]))
                return ERROR_NOT_ENOUGH_MEMORY;
            continue;
        }
        if (!order.push({0, static_cast<uint32_t>(i), {}}))
            return ERROR_NOT_ENOUGH_MEMORY;
        const std::string_view first = names[order[0].index];
        size_t same = 0;
        while (same < shared && same < first.size() && same < names[i].size() &&
               first[same] == names[i][same])
            same++;
        shared = same;
    }
    for (sort_item &item : order)
        item.key = sort_key(names[item.index], shared);
    std::sort(order.begin(), order.end(), [names](const sort_item &a, const sort_item &b) {
        return a.key != b.key ? a.key < b.key : names[a.index] < names[b.index];
    });
    for (sort_item &item : order) {
        item.s = stem_of(names[item.index]);
        if (item.s.base_len > 2 && !n.take(item.s.base, item.s.ext, PLAIN_ALIASES, out[item.index]))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (const sort_item &item : order) {
        short_name &alias = out[item.index];
        if (!alias.empty())
            continue;
        static constexpr char HEX[] = "0123456789ABCDEF";
        const unsigned sum = name_checksum(names[item.index]);
        char before[6];
        const size_t prefix = item.s.base_len < 2 ? item.s.base_len : 2;
        memcpy(before, item.s.base, prefix);
        for (size_t d = 0; d < 4; d++) // least significant digit first
            before[prefix + d] = HEX[sum >> (4 * d) & 0xF];
        if (!n.take(std::string_view(before, prefix + 4), item.s.ext, NO_LIMIT, alias))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (alias.empty())
            return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

} // namespace winpath
