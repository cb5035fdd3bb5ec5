#include "namecase.h"

#include <algorithm>
#include <cstdint>

#include "pathtext.h"

namespace winpath {
namespace {

// The units that are not their own upper case, in runs: from `first` to
// `last`, every `step`-th unit is its upper case less `diff` (step 2: the
// Latin, Greek and Cyrillic pairs that alternate lower, upper). 973 units
// in 134 runs, the units between runs their own upper case. Read from the
// $UpCase that Windows 7, 8, 10 and 11 write (mkntfs of ntfs-3g writes the
// same: md5 7ff498a44e45e77374cc7c962b1b92f2 of its 128 KiB).
struct upcase_run {
    uint16_t first, last;
    int32_t diff;
    uint16_t step;
};
constexpr upcase_run UPCASE_RUNS[] = {
    {0x0061, 0x007A, -32, 1},   {0x00E0, 0x00F6, -32, 1},    {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},   {0x0101, 0x012F, -1, 2},     {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},    {0x014B, 0x0177, -1, 2},     {0x017A, 0x017E, -1, 2},
    {0x0180, 0x0180, 195, 1},   {0x0183, 0x0185, -1, 2},     {0x0188, 0x0188, -1, 1},
    {0x018C, 0x018C, -1, 1},    {0x0192, 0x0192, -1, 1},     {0x0195, 0x0195, 97, 1},
    {0x0199, 0x0199, -1, 1},    {0x019A, 0x019A, 163, 1},    {0x019E, 0x019E, 130, 1},
    {0x01A1, 0x01A5, -1, 2},    {0x01A8, 0x01A8, -1, 1},     {0x01AD, 0x01AD, -1, 1},
    {0x01B0, 0x01B0, -1, 1},    {0x01B4, 0x01B6, -1, 2},     {0x01B9, 0x01B9, -1, 1},
    {0x01BD, 0x01BD, -1, 1},    {0x01BF, 0x01BF, 56, 1},     {0x01C6, 0x01C6, -2, 1},
    {0x01C9, 0x01C9, -2, 1},    {0x01CC, 0x01CC, -2, 1},     {0x01CE, 0x01DC, -1, 2},
    {0x01DD, 0x01DD, -79, 1},   {0x01DF, 0x01EF, -1, 2},     {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},    {0x01F9, 0x021F, -1, 2},     {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},    {0x0242, 0x0242, -1, 1},     {0x0247, 0x024F, -1, 2},
    {0x0250, 0x0250, 10783, 1}, {0x0251, 0x0251, 10780, 1},  {0x0253, 0x0253, -210, 1},
    {0x0254, 0x0254, -206, 1},  {0x0256, 0x0257, -205, 1},   {0x0259, 0x0259, -202, 1},
    {0x025B, 0x025B, -203, 1},  {0x0260, 0x0260, -205, 1},   {0x0263, 0x0263, -207, 1},
    {0x0268, 0x0268, -209, 1},  {0x0269, 0x0269, -211, 1},   {0x026B, 0x026B, 10743, 1},
    {0x026F, 0x026F, -211, 1},  {0x0271, 0x0271, 10749, 1},  {0x0272, 0x0272, -213, 1},
    {0x0275, 0x0275, -214, 1},  {0x027D, 0x027D, 10727, 1},  {0x0280, 0x0280, -218, 1},
    {0x0283, 0x0283, -218, 1},  {0x0288, 0x0288, -218, 1},   {0x0289, 0x0289, -69, 1},
    {0x028A, 0x028B, -217, 1},  {0x028C, 0x028C, -71, 1},    {0x0292, 0x0292, -219, 1},
    {0x0371, 0x0373, -1, 2},    {0x0377, 0x0377, -1, 1},     {0x037B, 0x037D, 130, 1},
    {0x03AC, 0x03AC, -38, 1},   {0x03AD, 0x03AF, -37, 1},    {0x03B1, 0x03C1, -32, 1},
    {0x03C3, 0x03CB, -32, 1},   {0x03CC, 0x03CC, -64, 1},    {0x03CD, 0x03CE, -63, 1},
    {0x03D7, 0x03D7, -8, 1},    {0x03D9, 0x03EF, -1, 2},     {0x03F2, 0x03F2, 7, 1},
    {0x03F8, 0x03F8, -1, 1},    {0x03FB, 0x03FB, -1, 1},     {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},   {0x0461, 0x0481, -1, 2},     {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},    {0x04CF, 0x04CF, -15, 1},    {0x04D1, 0x0523, -1, 2},
    {0x0561, 0x0586, -48, 1},   {0x1D79, 0x1D79, 35332, 1},  {0x1D7D, 0x1D7D, 3814, 1},
    {0x1E01, 0x1E95, -1, 2},    {0x1EA1, 0x1EFF, -1, 2},     {0x1F00, 0x1F07, 8, 1},
    {0x1F10, 0x1F15, 8, 1},     {0x1F20, 0x1F27, 8, 1},      {0x1F30, 0x1F37, 8, 1},
    {0x1F40, 0x1F45, 8, 1},     {0x1F51, 0x1F57, 8, 2},      {0x1F60, 0x1F67, 8, 1},
    {0x1F70, 0x1F71, 74, 1},    {0x1F72, 0x1F75, 86, 1},     {0x1F76, 0x1F77, 100, 1},
    {0x1F78, 0x1F79, 128, 1},   {0x1F7A, 0x1F7B, 112, 1},    {0x1F7C, 0x1F7D, 126, 1},
    {0x1F80, 0x1F87, 8, 1},     {0x1F90, 0x1F97, 8, 1},      {0x1FA0, 0x1FA7, 8, 1},
    {0x1FB0, 0x1FB1, 8, 1},     {0x1FB3, 0x1FB3, 9, 1},      {0x1FC3, 0x1FC3, 9, 1},
    {0x1FD0, 0x1FD1, 8, 1},     {0x1FE0, 0x1FE1, 8, 1},      {0x1FE5, 0x1FE5, 7, 1},
    {0x1FF3, 0x1FF3, 9, 1},     {0x214E, 0x214E, -28, 1},    {0x2170, 0x217F, -16, 1},
    {0x2184, 0x2184, -1, 1},    {0x24D0, 0x24E9, -26, 1},    {0x2C30, 0x2C5E, -48, 1},
    {0x2C61, 0x2C61, -1, 1},    {0x2C65, 0x2C65, -10795, 1}, {0x2C66, 0x2C66, -10792, 1},
    {0x2C68, 0x2C6C, -1, 2},    {0x2C73, 0x2C73, -1, 1},     {0x2C76, 0x2C76, -1, 1},
    {0x2C81, 0x2CE3, -1, 2},    {0x2D00, 0x2D25, -7264, 1},  {0xA641, 0xA65F, -1, 2},
    {0xA663, 0xA66D, -1, 2},    {0xA681, 0xA697, -1, 2},     {0xA723, 0xA72F, -1, 2},
    {0xA733, 0xA76F, -1, 2},    {0xA77A, 0xA77C, -1, 2},     {0xA77F, 0xA787, -1, 2},
    {0xA78C, 0xA78C, -1, 1},    {0xFF41, 0xFF5A, -32, 1},
};

constexpr bool upper_cases_beyond_ascii()
{
    for (const upcase_run &r : UPCASE_RUNS) {
        const int32_t lo = r.first + r.diff, hi = r.last + r.diff;
        if (r.first >= 0x80 && (lo < 0x80 || (hi >= 0xD800 && lo <= 0xDFFF)))
            return false;
    }
    return true;
}
static_assert(runs_in_order(UPCASE_RUNS), "a unit is found in one run at most");
// So an ASCII name equals only ASCII names, and an upper case is never a
// surrogate.
static_assert(upper_cases_beyond_ascii(), "no unit beyond ASCII has one within it");

// The unit of the character at s[i], or its code point beyond U+FFFF; `i`
// moves past it.
unsigned char_at(std::string_view s, size_t &i)
{
    unsigned cp = 0;
    const size_t n = utf8_at(s, i, cp);
    cp = n ? cp : static_cast<unsigned char>(s[i]);
    i += n ? n : 1;
    return cp;
}

} // namespace

size_t utf8_at(std::string_view s, size_t i, unsigned &cp)
{
    const unsigned char b = s[i];
    const size_t n = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    if (n == 0 || s.size() - i < n)
        return 0;
    cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; k++) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i + k] & 0x3F);
    }
    constexpr unsigned LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    return cp >= LEAST[n] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF) ? n : 0;
}

bool valid_utf8(std::string_view s)
{
    unsigned cp = 0;
    for (size_t i = 0, n = 0; i < s.size(); i += n) {
        n = utf8_at(s, i, cp);
        if (n == 0)
            return false;
    }
    return true;
}

unsigned upcase(unsigned unit)
{
    if (unit < 0x80)
        return static_cast<unsigned char>(upper(static_cast<char>(unit)));
    const upcase_run *r = run_of(UPCASE_RUNS, unit);
    return r ? static_cast<unsigned>(static_cast<int32_t>(unit) + r->diff) : unit;
}

// Names of ASCII letters, as most are, cost a byte compare: no unit of
// the table beyond ASCII has an upper case within it.
bool same_name(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (((static_cast<unsigned char>(a[i]) | static_cast<unsigned char>(b[j])) & 0x80) == 0) {
            if (upper(a[i++]) != upper(b[j++]))
                return false;
            continue;
        }
        const unsigned x = char_at(a, i), y = char_at(b, j);
        if (x != y && (x > 0xFFFF || y > 0xFFFF || upcase(x) != upcase(y)))
            return false;
    }
    return i == a.size() && j == b.size();
}

size_t upcase_at(std::string_view s, size_t &i, char (&out)[4])
{
    const size_t at = i;
    const unsigned c = char_at(s, i);
    const size_t n = i - at;
    if (n == 1 && c >= 0x80) { // a byte not part of UTF-8: the character of its value
        const unsigned u = upcase(c);
        out[0] = static_cast<char>(u < 0x100 ? u : c);
        return 1;
    }
    if (n == 1 || c > 0xFFFF) { // ASCII, or beyond U+FFFF
        std::copy(s.begin() + at, s.begin() + i, out);
        out[0] = n == 1 ? upper(out[0]) : out[0];
        return n;
    }
    const unsigned u = upcase(c);
    if (u < 0x800) {
        out[0] = static_cast<char>(0xC0 | u >> 6);
        out[1] = static_cast<char>(0x80 | (u & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | u >> 12);
    out[1] = static_cast<char>(0x80 | (u >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (u & 0x3F));
    return 3;
}

} // namespace winpath
