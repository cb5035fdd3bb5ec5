// Wine's aliases, and the tests of an 8.3 name.
#include "shortnames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "namecase.h"
#include "pathtext.h"

namespace winpath {
namespace {

// What a byte is to a short name: whether a legal 8.3 name may hold it
// (Windows' test, and Wine's, which allows control bytes), and what an
// alias makes of it: "_" for the characters Wine replaces, the rest upper
// case.
struct char_class {
    bool legal, wine_legal;
    char alias;
};
constexpr std::array<char_class, 256> CHARS = [] {
    std::array<char_class, 256> t{};
    const std::string_view illegal = "\"*+,/:;<=>?[\\]| ";
    const std::string_view replaced = "*?<>|\"+=,;[]~. ";
    for (int c = 0; c < 256; c++) {
        const char ch = static_cast<char>(c);
        const bool bad = illegal.find(ch) != std::string_view::npos;
        t[c].legal = c > ' ' && c < 0x80 && !bad; // DEL is legal, as FAT has it
        t[c].wine_legal = c > 0 && c < 0x80 && !bad;
        t[c].alias = c >= 0x80 || replaced.find(ch) != std::string_view::npos ? '_' : upper(ch);
    }
    return t;
}();

bool legal_83_by(std::string_view name, bool char_class::*legal)
{
    if (name.empty() || name.size() > 12 || name.back() == '.')
        return false;
    const size_t dot = name.find('.');
    const size_t base = dot == std::string_view::npos ? name.size() : dot;
    const size_t ext = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    if (base < 1 || base > 8 || ext > 3 || name.find('.', base + 1) != std::string_view::npos)
        return false;
    for (unsigned char c : name)
        if (!(CHARS[c].*legal))
            return false;
    return true;
}

// Wine's lower case of a UTF-16 unit, in runs: from `first` to `last`,
// every `step`-th unit lower-cases to itself plus `delta` (mod 0x10000).
// Debian's Wine 8.0 and 10.0 ship the same table (Unicode 15): 1,163
// units, every one that Windows upper-cases among them.
struct lower_run {
    uint16_t first, last, delta, step;
};
constexpr lower_run LOWER_RUNS[] = {
    {0x0041, 0x005A, 0x0020, 1}, {0x00C0, 0x00D6, 0x0020, 1}, {0x00D8, 0x00DE, 0x0020, 1},
    {0x0100, 0x012E, 0x0001, 2}, {0x0132, 0x0136, 0x0001, 2}, {0x0139, 0x0147, 0x0001, 2},
    {0x014A, 0x0176, 0x0001, 2}, {0x0178, 0x0178, 0xFF87, 1}, {0x0179, 0x017D, 0x0001, 2},
    {0x0181, 0x0181, 0x00D2, 1}, {0x0182, 0x0184, 0x0001, 2}, {0x0186, 0x0186, 0x00CE, 1},
    {0x0187, 0x0187, 0x0001, 1}, {0x0189, 0x018A, 0x00CD, 1}, {0x018B, 0x018B, 0x0001, 1},
    {0x018E, 0x018E, 0x004F, 1}, {0x018F, 0x018F, 0x00CA, 1}, {0x0190, 0x0190, 0x00CB, 1},
    {0x0191, 0x0191, 0x0001, 1}, {0x0193, 0x0193, 0x00CD, 1}, {0x0194, 0x0194, 0x00CF, 1},
    {0x0196, 0x0196, 0x00D3, 1}, {0x0197, 0x0197, 0x00D1, 1}, {0x0198, 0x0198, 0x0001, 1},
    {0x019C, 0x019C, 0x00D3, 1}, {0x019D, 0x019D, 0x00D5, 1}, {0x019F, 0x019F, 0x00D6, 1},
    {0x01A0, 0x01A4, 0x0001, 2}, {0x01A6, 0x01A6, 0x00DA, 1}, {0x01A7, 0x01A7, 0x0001, 1},
    {0x01A9, 0x01A9, 0x00DA, 1}, {0x01AC, 0x01AC, 0x0001, 1}, {0x01AE, 0x01AE, 0x00DA, 1},
    {0x01AF, 0x01AF, 0x0001, 1}, {0x01B1, 0x01B2, 0x00D9, 1}, {0x01B3, 0x01B5, 0x0001, 2},
    {0x01B7, 0x01B7, 0x00DB, 1}, {0x01B8, 0x01B8, 0x0001, 1}, {0x01BC, 0x01BC, 0x0001, 1},
    {0x01C4, 0x01C4, 0x0002, 1}, {0x01C7, 0x01C7, 0x0002, 1}, {0x01CA, 0x01CA, 0x0002, 1},
    {0x01CD, 0x01DB, 0x0001, 2}, {0x01DE, 0x01EE, 0x0001, 2}, {0x01F1, 0x01F1, 0x0002, 1},
    {0x01F4, 0x01F4, 0x0001, 1}, {0x01F6, 0x01F6, 0xFF9F, 1}, {0x01F7, 0x01F7, 0xFFC8, 1},
    {0x01F8, 0x021E, 0x0001, 2}, {0x0220, 0x0220, 0xFF7E, 1}, {0x0222, 0x0232, 0x0001, 2},
    {0x023A, 0x023A, 0x2A2B, 1}, {0x023B, 0x023B, 0x0001, 1}, {0x023D, 0x023D, 0xFF5D, 1},
    {0x023E, 0x023E, 0x2A28, 1}, {0x0241, 0x0241, 0x0001, 1}, {0x0243, 0x0243, 0xFF3D, 1},
    {0x0244, 0x0244, 0x0045, 1}, {0x0245, 0x0245, 0x0047, 1}, {0x0246, 0x024E, 0x0001, 2},
    {0x0370, 0x0372, 0x0001, 2}, {0x0376, 0x0376, 0x0001, 1}, {0x037F, 0x037F, 0x0074, 1},
    {0x0386, 0x0386, 0x0026, 1}, {0x0388, 0x038A, 0x0025, 1}, {0x038C, 0x038C, 0x0040, 1},
    {0x038E, 0x038F, 0x003F, 1}, {0x0391, 0x03A1, 0x0020, 1}, {0x03A3, 0x03AB, 0x0020, 1},
    {0x03CF, 0x03CF, 0x0008, 1}, {0x03D8, 0x03EE, 0x0001, 2}, {0x03F7, 0x03F7, 0x0001, 1},
    {0x03F9, 0x03F9, 0xFFF9, 1}, {0x03FA, 0x03FA, 0x0001, 1}, {0x03FD, 0x03FF, 0xFF7E, 1},
    {0x0400, 0x040F, 0x0050, 1}, {0x0410, 0x042F, 0x0020, 1}, {0x0460, 0x0480, 0x0001, 2},
    {0x048A, 0x04BE, 0x0001, 2}, {0x04C0, 0x04C0, 0x000F, 1}, {0x04C1, 0x04CD, 0x0001, 2},
    {0x04D0, 0x052E, 0x0001, 2}, {0x0531, 0x0556, 0x0030, 1}, {0x10A0, 0x10C5, 0x1C60, 1},
    {0x10C7, 0x10C7, 0x1C60, 1}, {0x10CD, 0x10CD, 0x1C60, 1}, {0x13A0, 0x13EF, 0x97D0, 1},
    {0x13F0, 0x13F5, 0x0008, 1}, {0x1C90, 0x1CBA, 0xF440, 1}, {0x1CBD, 0x1CBF, 0xF440, 1},
    {0x1E00, 0x1E94, 0x0001, 2}, {0x1EA0, 0x1EFE, 0x0001, 2}, {0x1F08, 0x1F0F, 0xFFF8, 1},
    {0x1F18, 0x1F1D, 0xFFF8, 1}, {0x1F28, 0x1F2F, 0xFFF8, 1}, {0x1F38, 0x1F3F, 0xFFF8, 1},
    {0x1F48, 0x1F4D, 0xFFF8, 1}, {0x1F59, 0x1F5F, 0xFFF8, 2}, {0x1F68, 0x1F6F, 0xFFF8, 1},
    {0x1F88, 0x1F8F, 0xFFF8, 1}, {0x1F98, 0x1F9F, 0xFFF8, 1}, {0x1FA8, 0x1FAF, 0xFFF8, 1},
    {0x1FB8, 0x1FB9, 0xFFF8, 1}, {0x1FBA, 0x1FBB, 0xFFB6, 1}, {0x1FBC, 0x1FBC, 0xFFF7, 1},
    {0x1FC8, 0x1FCB, 0xFFAA, 1}, {0x1FCC, 0x1FCC, 0xFFF7, 1}, {0x1FD8, 0x1FD9, 0xFFF8, 1},
    {0x1FDA, 0x1FDB, 0xFF9C, 1}, {0x1FE8, 0x1FE9, 0xFFF8, 1}, {0x1FEA, 0x1FEB, 0xFF90, 1},
    {0x1FEC, 0x1FEC, 0xFFF9, 1}, {0x1FF8, 0x1FF9, 0xFF80, 1}, {0x1FFA, 0x1FFB, 0xFF82, 1},
    {0x1FFC, 0x1FFC, 0xFFF7, 1}, {0x2132, 0x2132, 0x001C, 1}, {0x2160, 0x216F, 0x0010, 1},
    {0x2183, 0x2183, 0x0001, 1}, {0x24B6, 0x24CF, 0x001A, 1}, {0x2C00, 0x2C2F, 0x0030, 1},
    {0x2C60, 0x2C60, 0x0001, 1}, {0x2C62, 0x2C62, 0xD609, 1}, {0x2C63, 0x2C63, 0xF11A, 1},
    {0x2C64, 0x2C64, 0xD619, 1}, {0x2C67, 0x2C6B, 0x0001, 2}, {0x2C6D, 0x2C6D, 0xD5E4, 1},
    {0x2C6E, 0x2C6E, 0xD603, 1}, {0x2C6F, 0x2C6F, 0xD5E1, 1}, {0x2C70, 0x2C70, 0xD5E2, 1},
    {0x2C72, 0x2C72, 0x0001, 1}, {0x2C75, 0x2C75, 0x0001, 1}, {0x2C7E, 0x2C7F, 0xD5C1, 1},
    {0x2C80, 0x2CE2, 0x0001, 2}, {0x2CEB, 0x2CED, 0x0001, 2}, {0x2CF2, 0x2CF2, 0x0001, 1},
    {0xA640, 0xA66C, 0x0001, 2}, {0xA680, 0xA69A, 0x0001, 2}, {0xA722, 0xA72E, 0x0001, 2},
    {0xA732, 0xA76E, 0x0001, 2}, {0xA779, 0xA77B, 0x0001, 2}, {0xA77D, 0xA77D, 0x75FC, 1},
    {0xA77E, 0xA786, 0x0001, 2}, {0xA78B, 0xA78B, 0x0001, 1}, {0xA78D, 0xA78D, 0x5AD8, 1},
    {0xA790, 0xA792, 0x0001, 2}, {0xA796, 0xA7A8, 0x0001, 2}, {0xA7AA, 0xA7AA, 0x5ABC, 1},
    {0xA7AB, 0xA7AB, 0x5AB1, 1}, {0xA7AC, 0xA7AC, 0x5AB5, 1}, {0xA7AD, 0xA7AD, 0x5ABF, 1},
    {0xA7AE, 0xA7AE, 0x5ABC, 1}, {0xA7B0, 0xA7B0, 0x5AEE, 1}, {0xA7B1, 0xA7B1, 0x5AD6, 1},
    {0xA7B2, 0xA7B2, 0x5AEB, 1}, {0xA7B3, 0xA7B3, 0x03A0, 1}, {0xA7B4, 0xA7C2, 0x0001, 2},
    {0xA7C4, 0xA7C4, 0xFFD0, 1}, {0xA7C5, 0xA7C5, 0x5ABD, 1}, {0xA7C6, 0xA7C6, 0x75C8, 1},
    {0xA7C7, 0xA7C9, 0x0001, 2}, {0xA7D0, 0xA7D0, 0x0001, 1}, {0xA7D6, 0xA7D8, 0x0001, 2},
    {0xA7F5, 0xA7F5, 0x0001, 1}, {0xFF21, 0xFF3A, 0x0020, 1},
};

static_assert(runs_in_order(LOWER_RUNS), "a unit is found in one run at most");

unsigned wine_lower(unsigned unit)
{
    if (unit < 0x80)
        return unit >= 'A' && unit <= 'Z' ? unit + 0x20 : unit;
    const lower_run *r = run_of(LOWER_RUNS, unit);
    return r ? (unit + r->delta) & 0xFFFF : unit;
}

// The character at s[i] as Wine reads the name: valid UTF-8, else U+FFFD
// for each maximal start of a sequence that breaks off (a lone byte of
// 0x80 and above, "\xE2\x82" before an ASCII byte); `i` moves past it.
unsigned wine_char_at(std::string_view s, size_t &i)
{
    const unsigned char b = s[i++];
    if (b < 0x80)
        return b;
    const size_t n = b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    if (n == 0)
        return 0xFFFD;
    // The second byte's range rules out overlong forms, surrogates and
    // code points beyond U+10FFFF.
    const unsigned char lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    unsigned cp = b & (0x7F >> n);
    for (size_t k = 1; k < n; k++, i++) {
        const unsigned char c = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
        if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF))
            return 0xFFFD;
        cp = cp << 6 | (c & 0x3F);
    }
    return cp;
}

// The UTF-16 units of the character at s[i], lower-cased, into `units`:
// how many (2 for a surrogate pair, each its own lower case); `i` moves
// past it.
size_t lower_units_at(std::string_view s, size_t &i, unsigned (&units)[2])
{
    const unsigned char b = s[i];
    if (b < 0x80) {
        i++;
        units[0] = b >= 'A' && b <= 'Z' ? b + 0x20u : b;
        return 1;
    }
    const unsigned cp = wine_char_at(s, i);
    if (cp < 0x10000) {
        units[0] = wine_lower(cp);
        return 1;
    }
    units[0] = 0xD800 + ((cp - 0x10000) >> 10);
    units[1] = 0xDC00 + (cp & 0x3FF);
    return 2;
}

// Wine's 16-bit hash of a whole name, over its UTF-16 units lower-cased:
// each step mixes a unit and the next.
unsigned wine_hash(std::string_view name)
{
    if (name.empty())
        return 0;
    unsigned units[2], h = 0xBEEF, prev = 0;
    size_t i = 0, n = lower_units_at(name, i, units);
    const auto mix = [&h, &prev](unsigned unit) {
        h = ((h << 3) ^ (h >> 5) ^ prev ^ (unit << 8)) & 0xFFFF;
        prev = unit;
    };
    prev = units[0];
    if (n == 2)
        mix(units[1]);
    while (i < name.size()) {
        size_t j = i; // most names are ASCII: a run of it, i kept out of memory
        for (unsigned char b; j < name.size() && (b = name[j]) < 0x80; j++)
            mix(b >= 'A' && b <= 'Z' ? b + 0x20u : b);
        i = j;
        n = i < name.size() ? lower_units_at(name, i, units) : 0;
        for (size_t k = 0; k < n; k++)
            mix(units[k]);
    }
    return ((h << 3) ^ (h >> 5) ^ prev) & 0xFFFF;
}

constexpr char HASH_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

// The extension's dot: the last that is neither the first character nor
// the last; Wine 10 looks past the leading dots only. The name's size
// where there is none.
size_t ext_dot(std::string_view name, wine version)
{
    const size_t from = version == wine::v10 ? std::max<size_t>(1, name.find_first_not_of('.')) : 1;
    const size_t dot = name.size() < 2 ? std::string_view::npos : name.rfind('.', name.size() - 2);
    return dot != std::string_view::npos && dot >= from ? dot : name.size();
}

// Up to `most` characters of an alias, as Wine copies them from
// name[i..end): a character beyond ASCII is "_" whatever it is (two for one
// beyond U+FFFF: two units); Wine 10 skips dots in the head.
void take_part(std::string_view name, size_t i, size_t end, size_t most, bool skip_dots, alias_part &out)
{
    out.n = 0;
    while (i < end && out.n < most) {
        const unsigned char b = name[i];
        if (b < 0x80) {
            i++;
            if (b != '.' || !skip_dots)
                out.c[out.n++] = CHARS[b].alias;
            continue;
        }
        const unsigned cp = wine_char_at(name, i);
        out.c[out.n++] = '_';
        if (cp >= 0x10000 && out.n < most)
            out.c[out.n++] = '_';
    }
}

// The parts of an alias that come from the name, as `version` takes them:
// up to 4 characters before the extension's dot, and up to 3 after it.
struct shape {
    alias_part head, ext;
};

shape shape_of(std::string_view name, wine version)
{
    shape s;
    const size_t dot = ext_dot(name, version);
    take_part(name, 0, dot, 4, version == wine::v10, s.head);
    take_part(name, dot + 1, name.size(), 3, false, s.ext);
    return s;
}

} // namespace

bool legal_83(std::string_view name) { return legal_83_by(name, &char_class::legal); }

bool wine_legal(std::string_view name) { return legal_83_by(name, &char_class::wine_legal); }

bool legal_kept(std::string_view name)
{
    const bool utf8 = valid_utf8(name);
    unsigned cp = 0;
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

short_name wine_alias(std::string_view name, wine version)
{
    const shape s = shape_of(name, version);
    const unsigned h = wine_hash(name);
    short_name out;
    out.assign(s.head.view());
    while (out.size() < 5)
        out.append('~');
    for (int bits = 10; bits >= 0; bits -= 5)
        out.append(HASH_CHARS[h >> bits & 0x1F]);
    if (s.ext.n) {
        out.append('.');
        out.append(s.ext.view());
    }
    return out;
}

short_name common_alias(std::string_view name)
{
    if (wine_legal(name))
        return {};
    const short_name a = wine_alias(name, wine::v8);
    if (a.view() != wine_alias(name, wine::v10).view() || !legal_83(a.view()))
        return {};
    return a;
}

alias_match::alias_match(std::string_view alias)
{
    // HEAD~HHH.EXT: the head and its tildes 5 characters, 3 of the hash,
    // and the extension, if any, 1 to 3.
    if (alias.size() < 8 || (alias.size() > 8 && (alias.size() < 10 || alias[8] != '.')))
        return;
    const size_t tilde = alias.find('~');
    if (tilde > 4 || alias.find_first_not_of('~', tilde) != 5)
        return;
    for (char c : sub(alias, 0, tilde))
        head_.c[head_.n++] = upper(c);
    for (char c : sub(alias, 9))
        ext_.c[ext_.n++] = upper(c);
    for (size_t i = 5; i < 8; i++) {
        const char *at = strchr(HASH_CHARS, upper(alias[i]));
        if (!at || !*at)
            return;
        hash_ = hash_ << 5 | static_cast<unsigned>(at - HASH_CHARS);
    }
    valid_ = true;
}

// Wine 10 takes another head or extension than Wine 8 only where the name
// starts with a dot or has one among the bytes of its first four characters.
bool alias_match::operator()(std::string_view name) const
{
    if (!valid_ || wine_legal(name))
        return false;
    const shape s = shape_of(name, wine::v8);
    bool shaped = s.head == head_ && s.ext == ext_;
    if (!shaped && memchr(name.data(), '.', std::min<size_t>(ext_dot(name, wine::v8), 16))) {
        const shape t = shape_of(name, wine::v10);
        shaped = t.head == head_ && t.ext == ext_;
    }
    return shaped && (wine_hash(name) & 0x7FFF) == hash_;
}

} // namespace winpath
