// The short names of one directory from the set of its long names.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "heaparray.h"
#include "namecase.h"
#include "pathtext.h"
#include "shortnames.h"

namespace winpath {
namespace {

constexpr unsigned PLAIN_ALIASES = 4;  // ~1 to ~4 before the checksum form
constexpr unsigned NO_LIMIT = 9999999; // the most digits a base of 8 leaves room for
constexpr char COUNT_MARK = '\x01';

// What a byte is to a short name: whether a legal 8.3 name may hold it, and
// what it becomes in an alias (0: it is dropped). The characters that no
// short name holds become "_" (Windows names never hold nine of them; POSIX
// names may).
struct char_class {
    bool legal;
    char alias;
};
constexpr std::array<char_class, 256> CHARS = [] {
    std::array<char_class, 256> t{};
    const std::string_view illegal = "\"*+,/:;<=>?[\\]|";
    for (int c = 0; c < 256; c++) {
        const bool bad = illegal.find(static_cast<char>(c)) != std::string_view::npos;
        t[c].legal = c > ' ' && c < 0x80 && !bad; // no control byte, as FAT has it
        if (c > ' ' && c < 0x7F)
            t[c].alias = bad ? '_' : upper(static_cast<char>(c));
    }
    return t;
}();

// Windows' checksum of a long name (Windows 7 and later), over its UTF-16
// code units: the name read as UTF-8, a byte that is not part of valid UTF-8
// taken as the unit of its own value.
unsigned name_checksum(std::string_view name)
{
    uint32_t v = 0;
    const auto add = [&v](uint32_t unit) { v = (v * 0x25 + unit) & 0xFFFF; };
    for (size_t i = 0; i < name.size();) {
        unsigned cp = static_cast<unsigned char>(name[i]);
        uint32_t four;
        if (i + 4 <= name.size() && (memcpy(&four, name.data() + i, 4), (four & 0x80808080u) == 0)) {
            // Four ASCII units at once: the same sum, without waiting on v
            // for each of them.
            const auto u = [&name, i](size_t k) {
                return static_cast<uint32_t>(static_cast<unsigned char>(name[i + k]));
            };
            v = (v * (0x25u * 0x25 * 0x25 * 0x25) + u(0) * (0x25u * 0x25 * 0x25) + u(1) * (0x25u * 0x25) +
                 u(2) * 0x25u + u(3)) &
                0xFFFF;
            i += 4;
            continue;
        }
        if (cp < 0x80) {
            add(cp);
            i++;
            continue;
        }
        const size_t n = utf8_at(name, i, cp);
        if (n == 0)
            cp = static_cast<unsigned char>(name[i]);
        i += n ? n : 1;
        if (cp >= 0x10000) { // a surrogate pair
            add(0xD800 + ((cp - 0x10000) >> 10));
            cp = 0xDC00 + (cp & 0x3FF);
        }
        add(cp);
    }
    // The signed 32-bit product, made positive; it is never INT32_MIN, as
    // the factor is odd and v below 2^16.
    int64_t t = static_cast<int32_t>(v * 314159269u);
    t = (t < 0 ? -t : t) % 1000000007;
    return static_cast<unsigned>(t) & 0xFFFF;
}

// The parts of an alias that come from the long name.
struct stem {
    char base[7];           // cleaned, cut to 6 characters
    char ext[4];            // up to 3 characters
    unsigned char base_len; // cleaned length, counted to 6: only "more than 2" matters
};

stem stem_of(std::string_view name)
{
    stem s{"", "", 0}; // the arrays stay NUL-terminated
    const size_t lead = name.find_first_not_of('.');
    name = lead == std::string_view::npos ? std::string_view{} : sub(name, lead);
    const size_t dot = name.rfind('.');
    for (unsigned char c : sub(name, 0, dot))
        if (char a = c == '.' ? '\0' : CHARS[c].alias) {
            s.base[s.base_len++] = a;
            if (s.base_len == 6)
                break;
        }
    size_t ext = 0;
    if (dot != std::string_view::npos)
        for (unsigned char c : sub(name, dot + 1))
            if (char a = CHARS[c].alias; a && ext < 3)
                s.ext[ext++] = a;
    return s;
}

// The part before "~" of the checksum form, uncut: up to 2 base characters
// and the checksum's 4 hex digits, least significant first.
size_t checksum_before(std::string_view name, const stem &s, char (&before)[6])
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    const unsigned sum = name_checksum(name);
    const size_t lead = s.base_len < 2 ? s.base_len : 2;
    memcpy(before, s.base, lead);
    for (size_t d = 0; d < 4; d++)
        before[lead + d] = HEX[sum >> (4 * d) & 0xF];
    return lead + 4;
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

// Hands out the short names of one directory, never one twice. Its table
// (open addressing, never 3/4 full) holds the short names given, upper
// case and all with "~", and for each "before.ext" of an alias (marked by
// COUNT_MARK) the first ~k that may still be free: texts of up to 12
// bytes, each with a number.
class namer {
  public:
    bool init(size_t names)
    {
        size_t n = 64;
        while (n < 4 * names) // a short name and two stems a name at most
            n *= 2;
        return slots_.resize(n);
    }
    void keep(std::string_view legal)
    {
        short_name key;
        for (char c : legal)
            key.append(upper(c));
        bool added;
        add(key.view(), added);
    }
    // Gives `out` the first alias `before`~k.`ext`, k from 1 to `last`, that
    // is not yet a short name, or leaves it empty. Both forms of alias are
    // "before~k.ext", so one count serves a stem's plain aliases and an
    // equal checksum form: every k below it is taken, and stays so.
    void take(std::string_view before, std::string_view ext, unsigned last, short_name &out)
    {
        // A count's key starts with a byte no short name holds: a base may
        // hold "~" and digits, and "TXT1~1.JPE" is both the count of stem
        // "TXT1~1" and an alias of stem "TXT1".
        short_name key;
        key.append(COUNT_MARK);
        key.append(before);
        key.append('.');
        key.append(ext);
        bool added;
        unsigned &k = add(key.view(), added);
        for (k = k ? k : 1; k <= last; k++) {
            make_alias(before, k, ext, out);
            add(out.view(), added);
            if (added) {
                k++;
                return;
            }
        }
        out.clear();
    }

  private:
    struct slot {
        char text[12];
        unsigned value;
    };
    // The number kept for `text`, added as 0 when new; `added` says so.
    unsigned &add(std::string_view text, bool &added)
    {
        slot key{};
        memcpy(key.text, text.data(), text.size() < 12 ? text.size() : 12);
        uint64_t a = 0;
        uint32_t b = 0;
        memcpy(&a, key.text, 8);
        memcpy(&b, key.text + 8, 4);
        const size_t mask = slots_.size() - 1;
        for (size_t i = ((a ^ b * 0x9E3779B97F4A7C15u) * 0x9E3779B97F4A7C15u >> 32) & mask;;
             i = (i + 1) & mask) {
            slot &s = slots_[i];
            added = s.text[0] == '\0'; // no text starts with a NUL
            if (added)
                s = key;
            if (added || memcmp(s.text, key.text, sizeof key.text) == 0)
                return s.value;
        }
    }

    heap_array<slot> slots_;
};

// A long name to be sorted: the 8 bytes after the part that all the names
// share, as a number that sorts as they do, decide most comparisons. Its
// stem is kept with it for the passes that follow.
struct sort_item {
    uint64_t key;
    uint32_t index;
    stem s;
};

// The names that are not legal 8.3 names, in byte order; the legal ones are
// their own short names, and kept by `n` when an alias could equal them.
bool by_bytes(const std::string_view *names, size_t count, short_name *out, namer &n,
              heap_array<sort_item> &order)
{
    size_t shared = std::string_view::npos, m = 0;
    if (count > UINT32_MAX || !order.resize(count))
        return false;
    for (size_t i = 0; i < count; i++) {
        out[i].clear();
        if (legal_83(names[i])) {
            out[i].assign(names[i]);
            if (names[i].find('~') != std::string_view::npos)
                n.keep(names[i]);
            continue;
        }
        order[m++].index = static_cast<uint32_t>(i);
        const std::string_view first = names[order[0].index];
        size_t same = 0;
        while (same < shared && same < first.size() && same < names[i].size() &&
               first[same] == names[i][same])
            same++;
        shared = same;
    }
    order.resize(m);
    for (sort_item &item : order)
        for (size_t i = shared; i < shared + 8; i++) {
            const std::string_view name = names[item.index];
            item.key = item.key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
        }
    std::sort(order.begin(), order.end(), [names](const sort_item &a, const sort_item &b) {
        return a.key != b.key ? a.key < b.key : names[a.index] < names[b.index];
    });
    return true;
}

// One name alone. A name's short name depends only on the names that can
// compete for its aliases, so one is found without naming the directory:
//  - a legal 8.3 name is its own;
//  - a plain alias is the k-th free ~1..~4 of its stem, where k is how many
//    names of the stem come before it in byte order;
//  - a checksum alias is decided among the "family" of its first c
//    characters: every alias longer than c before "~" that equals one of
//    the family's starts with those c characters, and one shorter never
//    does (the last "~" of an alias is the one before its number). The
//    family is named by short_names itself, with what decides whether its
//    names reach the checksum form (the first 4 names of their stems, and
//    the legal names that hold their aliases). When one of the family's
//    aliases keeps fewer than c characters, the family was too narrow, and
//    c shrinks; at c = 0 it holds every name of the extension.

template <class F> void each_name(name_list names, F f)
{
    for (size_t at = 0; at < names.size;) {
        const std::string_view name(names.text + at);
        f(at, name);
        at += name.size() + 1;
    }
}

// A legal name's "before~k" part and extension, upper case.
struct legal_parts {
    short_name before, ext;
};
legal_parts parts_of_legal(std::string_view name)
{
    legal_parts p;
    const size_t dot = name.find('.');
    for (char c : sub(name, 0, dot))
        p.before.append(upper(c));
    for (char c : sub(name, dot == std::string_view::npos ? name.size() : dot + 1))
        p.ext.append(upper(c));
    // "X." is no alias: an alias without extension has no dot.
    if (dot != std::string_view::npos && p.ext.empty())
        p.ext.append('.');
    return p;
}

uint64_t stem_key(std::string_view base)
{
    uint64_t key = 0;
    for (size_t i = 0; i < 6; i++)
        key = key << 8 | (i < base.size() ? static_cast<unsigned char>(base[i]) : 0);
    return key;
}

class family {
  public:
    family(name_list names, std::string_view ext) : names_(names), ext_(ext)
    {
        memcpy(ext4_, ext.data(), ext.size() < 3 ? ext.size() : 3);
    }

    // A stem whose first names are kept in the same pass that gathers the
    // family: that of the name asked about, or of the alias looked up.
    void watch(std::string_view base)
    {
        watched_ = {stem_key(base), {}, 0};
        watching_ = base.size() >= 3 && base.size() <= 6 && watched_base_.assign(base);
    }
    // Gathers the family of `prefix`: its members, the first names of the
    // watched stem, and the legal names that hold their aliases; false when
    // memory runs out.
    bool gather(std::string_view prefix)
    {
        picks_.resize(0);
        stems_.resize(0);
        watched_.count = 0;
        for (bool &t : watched_taken_)
            t = false;
        bool ok = true;
        each_name(names_, [&](size_t at, std::string_view y) { ok = ok && take(at, y, prefix); });
        return ok;
    }
    // The plain alias of the name at `at`, of the watched stem: the k-th
    // free ~1..~4, k the count of the stem's names before it in byte order;
    // false when it has none.
    bool plain_alias(size_t at, short_name &out) const
    {
        size_t before = 0;
        while (before < watched_.count && watched_.first[before] != at)
            before++;
        for (unsigned k = 0; k < PLAIN_ALIASES && before < watched_.count; k++)
            if (!watched_taken_[k] && before-- == 0) {
                make_alias(watched_base_.view(), k + 1, ext_, out);
                return true;
            }
        return false;
    }
    // Names the gathered family with short_names.
    DWORD name()
    {
        if (!complete_stems() || !merge() || !views_.resize(picks_.size()) || !aliases_.resize(picks_.size()))
            return ERROR_NOT_ENOUGH_MEMORY;
        for (size_t i = 0; i < picks_.size(); i++)
            views_[i] = std::string_view(names_.text + picks_[i].at);
        return short_names(views_.begin(), views_.size(), aliases_.begin());
    }
    // The name_sum of the names the last gather and naming took: those an
    // answer depends on (a name that would change it is taken too).
    uint64_t depends() const
    {
        uint64_t sum = 0;
        for (const pick &p : picks_)
            sum += name_sum(names_.text + p.at);
        for (size_t i = 0; i < watched_.count && i < PLAIN_ALIASES; i++)
            sum += name_sum(names_.text + watched_.first[i]);
        return sum;
    }
    // Whether the alias of the name at `at` (every name, for NO_NAME) is
    // exact: every member up to it in byte order, whose alias it depends
    // on, keeps `c` characters before its "~".
    bool closed(size_t c, size_t at) const
    {
        const std::string_view last = at == NO_NAME ? std::string_view() : std::string_view(names_.text + at);
        for (size_t i = 0; i < picks_.size(); i++)
            if (picks_[i].member && (at == NO_NAME || views_[i] <= last) && aliases_[i].view().rfind('~') < c)
                return false;
        return true;
    }
    // The alias of the name at `at`, a member.
    const short_name *alias_of(size_t at) const
    {
        for (size_t i = 0; i < picks_.size(); i++)
            if (picks_[i].at == at)
                return &aliases_[i];
        return nullptr;
    }
    // The name whose alias is `alias`: a member, or one of the first names
    // of a stem whose plain aliases begin as the family's.
    size_t with_alias(std::string_view alias) const
    {
        for (size_t i = 0; i < picks_.size(); i++)
            if (!legal_83(views_[i]) && same_text(aliases_[i].view(), alias))
                return picks_[i].at;
        return NO_NAME;
    }

  private:
    struct pick {
        size_t at;
        bool member;
    };
    struct stem_top {
        uint64_t key;
        size_t first[PLAIN_ALIASES]; // its first names in byte order
        size_t count;
    };

    bool same_ext(const stem &s) const { return memcmp(s.ext, ext4_, sizeof s.ext) == 0; }
    bool add(size_t at, bool member)
    {
        const size_t n = picks_.size();
        if (!picks_.resize(n + 1))
            return false;
        picks_[n] = {at, member};
        return true;
    }
    bool add_stem(uint64_t key)
    {
        const size_t n = stems_.size();
        if (watching_ && key == watched_.key)
            return true;
        if (!stems_.resize(n + 1))
            return false;
        stems_[n].key = key;
        return true;
    }
    // The stem whose plain alias ~k a legal name is, with k in 1..4; k is
    // 0 for a legal name that is no plain alias of this extension.
    unsigned plain_k(const legal_parts &p, std::string_view &base) const
    {
        const std::string_view before = p.before.view();
        const size_t tilde = before.rfind('~');
        const std::string_view k = sub(before, tilde + 1);
        base = sub(before, 0, tilde);
        const bool digit = tilde != std::string_view::npos && tilde <= 6 && k.size() == 1 && k[0] >= '1' &&
                           k[0] <= '0' + static_cast<int>(PLAIN_ALIASES);
        return p.ext.view() == ext_ && digit ? static_cast<unsigned>(k[0] - '0') : 0;
    }
    // The first `c` characters of a stem_key (the characters after a text's
    // end are 0, never those of a prefix).
    static uint64_t mask_of(size_t c) { return c == 0 ? 0 : ~uint64_t{0} << (8 * (6 - c)) & 0xFFFFFFFFFFFFu; }

    bool take(size_t at, std::string_view y, std::string_view prefix)
    {
        const size_t c = prefix.size();
        if (legal_83(y)) {
            const legal_parts p = parts_of_legal(y);
            std::string_view base;
            const unsigned k = plain_k(p, base);
            const bool watched = k && watching_ && stem_key(base) == watched_.key;
            if (watched)
                watched_taken_[k - 1] = true;
            const std::string_view before = p.before.view();
            const bool held = p.ext.view() == ext_ && before.find('~') != std::string_view::npos &&
                              sub(before, 0, c) == prefix;
            return !(held || watched) || add(at, false);
        }
        const stem s = stem_of(y);
        if (!same_ext(s))
            return true;
        const bool plain = s.base_len > 2;
        const uint64_t key = stem_key({s.base, 6}), want = stem_key(prefix), mask = mask_of(c);
        if (plain && watching_ && key == watched_.key)
            keep_first(watched_, at, y);
        if (plain && (key & mask) == want && !add_stem(key))
            return false;
        // The checksum form begins with the base's first 2 characters.
        const size_t lead = s.base_len < 2 ? s.base_len : 2;
        if (lead + 4 < c || (key & mask & mask_of(lead)) != (want & mask_of(lead)))
            return true;
        char before[6];
        if ((stem_key({before, checksum_before(y, s, before)}) & mask) != want)
            return true;
        return add(at, true) && (!plain || add_stem(key));
    }
    // The first names of the watched stem and of every other stem gathered,
    // and the legal names that hold a plain alias of one of the others.
    bool complete_stems()
    {
        bool ok = true;
        for (size_t i = 0; watching_ && i < watched_.count; i++)
            ok = ok && add(watched_.first[i], false);
        if (stems_.size() == 0)
            return ok;
        std::sort(
            stems_.begin(), stems_.end(), [](const stem_top &a, const stem_top &b) { return a.key < b.key; });
        stems_.resize(std::unique(stems_.begin(),
                                  stems_.end(),
                                  [](const stem_top &a, const stem_top &b) { return a.key == b.key; }) -
                      stems_.begin());
        each_name(names_, [&](size_t at, std::string_view y) {
            if (legal_83(y)) {
                std::string_view base;
                if (plain_k(parts_of_legal(y), base) && find_stem(base))
                    ok = ok && add(at, false);
                return;
            }
            const stem s = stem_of(y);
            if (s.base_len > 2 && same_ext(s))
                if (stem_top *t = find_stem(s.base))
                    keep_first(*t, at, y);
        });
        for (const stem_top &t : stems_)
            for (size_t i = 0; i < t.count; i++)
                ok = ok && add(t.first[i], false);
        return ok;
    }
    stem_top *find_stem(std::string_view base)
    {
        const uint64_t key = stem_key(base);
        stem_top *t = std::lower_bound(
            stems_.begin(), stems_.end(), key, [](const stem_top &a, uint64_t k) { return a.key < k; });
        return t != stems_.end() && t->key == key ? t : nullptr;
    }
    void keep_first(stem_top &t, size_t at, std::string_view y) const
    {
        size_t i = t.count < PLAIN_ALIASES ? t.count++ : PLAIN_ALIASES;
        for (; i > 0 && y < std::string_view(names_.text + t.first[i - 1]); i--)
            if (i < PLAIN_ALIASES)
                t.first[i] = t.first[i - 1];
        if (i < PLAIN_ALIASES)
            t.first[i] = at;
    }
    // Each name once, a member if it was taken as one.
    bool merge()
    {
        std::sort(picks_.begin(), picks_.end(), [](const pick &a, const pick &b) { return a.at < b.at; });
        size_t n = 0;
        for (size_t i = 0; i < picks_.size(); i++) {
            if (n > 0 && picks_[n - 1].at == picks_[i].at)
                picks_[n - 1].member = picks_[n - 1].member || picks_[i].member;
            else
                picks_[n++] = picks_[i];
        }
        return picks_.resize(n);
    }

    name_list names_;
    std::string_view ext_;
    char ext4_[4] = {}; // as a stem holds it
    stem_top watched_{};
    short_name watched_base_;
    bool watching_ = false, watched_taken_[PLAIN_ALIASES] = {};
    heap_array<pick> picks_;
    heap_array<stem_top> stems_;
    heap_array<std::string_view> views_;
    heap_array<short_name> aliases_;
};

} // namespace

bool legal_83(std::string_view name)
{
    if (name.size() > 12)
        return false;
    const size_t dot = name.find('.');
    const size_t base = dot == std::string_view::npos ? name.size() : dot;
    const size_t ext = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    if (base < 1 || base > 8 || ext > 3 || name.find('.', base + 1) != std::string_view::npos)
        return false;
    for (unsigned char c : name)
        if (!CHARS[c].legal)
            return false;
    return true;
}

bool legal_kept(std::string_view name)
{
    bool utf8 = true;
    unsigned cp = 0;
    for (size_t i = 0, n = 0; utf8 && i < name.size(); i += n)
        utf8 = (n = utf8_at(name, i, cp)) != 0;
    size_t base = 0, ext = 0;
    bool dot = false;
    for (size_t i = 0, n = 1; i < name.size(); i += n) {
        const unsigned char c = name[i];
        n = utf8 ? utf8_at(name, i, cp) : 1;
        if (c == '.' && (dot || base == 0))
            return false;
        if (c == '.')
            dot = true;
        else if (c < 0x80 && !CHARS[c].legal)
            return false;
        else
            (dot ? ext : base)++;
    }
    return name.size() < volume_name::capacity() && base >= 1 && base <= 8 && ext <= 3;
}

bool windows_can_hold(std::string_view name)
{
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        return false;
    for (unsigned char c : name)
        if (c < ' ' || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    return true;
}

DWORD short_names(const std::string_view *names, size_t count, short_name *out)
{
    namer n;
    heap_array<sort_item> order;
    if (!n.init(count) || !by_bytes(names, count, out, n, order))
        return ERROR_NOT_ENOUGH_MEMORY;
    for (sort_item &item : order) {
        item.s = stem_of(names[item.index]);
        if (item.s.base_len > 2)
            n.take(item.s.base, item.s.ext, PLAIN_ALIASES, out[item.index]);
    }
    for (const sort_item &item : order) {
        if (!out[item.index].empty())
            continue;
        char before[6];
        const size_t len = checksum_before(names[item.index], item.s, before);
        n.take(std::string_view(before, len), item.s.ext, NO_LIMIT, out[item.index]);
        if (out[item.index].empty())
            return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

short_name short_name_ext(std::string_view name)
{
    short_name ext;
    if (legal_83(name))
        return parts_of_legal(name).ext;
    ext.assign(stem_of(name).ext);
    return ext;
}

bool may_change_alias(std::string_view name, std::string_view ext)
{
    if (legal_83(name) && name.find('~') == std::string_view::npos)
        return false;
    return short_name_ext(name).view() == ext;
}

uint64_t name_sum(std::string_view name)
{
    uint64_t h = 0xcbf29ce484222325u; // FNV-1a, then mixed, so that sums of sets rarely meet
    for (unsigned char c : name)
        h = (h ^ c) * 0x100000001b3u;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdu;
    return h ^ h >> 33;
}

DWORD short_name_of(name_list names, size_t at, short_name &out, uint64_t *depends)
{
    const std::string_view name(names.text + at);
    if (depends)
        *depends += name_sum(name);
    if (legal_83(name))
        return out.assign(name) ? 0 : ERROR_FILENAME_EXCED_RANGE;
    const stem s = stem_of(name);
    char before[6];
    family f(names, s.ext);
    f.watch(s.base_len > 2 ? s.base : "");
    for (size_t c = checksum_before(name, s, before);; c--) {
        if (!f.gather(std::string_view(before, c)))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (s.base_len > 2 && f.plain_alias(at, out)) {
            if (depends)
                *depends += f.depends();
            return 0;
        }
        if (DWORD err = f.name())
            return err;
        if (f.closed(c, at) || c == 0) {
            if (depends)
                *depends += f.depends();
            const short_name *alias = f.alias_of(at);
            out = alias ? *alias : short_name();
            return alias ? 0 : ERROR_FILENAME_EXCED_RANGE;
        }
    }
}

DWORD entry_with_short_name(name_list names, std::string_view alias, size_t &at, uint64_t *depends)
{
    at = NO_NAME;
    const legal_parts p = parts_of_legal(alias);
    const size_t tilde = p.before.view().rfind('~');
    // Every alias is "before~k": at most 6 characters, "~", a number.
    const std::string_view k = sub(p.before.view(), tilde + 1);
    if (tilde == std::string_view::npos || tilde > 6 || k.empty() ||
        k.find_first_not_of("0123456789") != k.npos)
        return 0;
    family f(names, p.ext.view());
    f.watch(sub(p.before.view(), 0, tilde));
    for (size_t c = tilde;; c--) {
        if (!f.gather(sub(p.before.view(), 0, c)))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (DWORD err = f.name())
            return err;
        at = f.with_alias(alias);
        if (f.closed(c, at) || c == 0) {
            if (depends)
                *depends += f.depends();
            return 0;
        }
    }
}

} // namespace winpath
