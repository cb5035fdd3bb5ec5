// Names compared ignoring case as Windows compares them: each upper-cased
// one UTF-16 code unit at a time through the upcase table that Windows 7
// and later write on every NTFS volume they format (its $UpCase; FAT on
// Windows uses the same table), then compared unit by unit. There is no
// full folding (ß, ẞ and SS are three names), no normalization (é and e +
// U+0301 differ), and nothing beyond U+FFFF is folded.
//
// A POSIX name is bytes: its units come from reading it as UTF-8 (a
// character beyond U+FFFF is two surrogate units, its own upper case), and
// a byte that is not part of valid UTF-8 is the unit of its own value.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "fixedtext.h"
#include "pathtext.h"

namespace winpath {

// The length of the UTF-8 sequence at s[i], with its code point; 0 where no
// valid one starts there (overlong forms and surrogates are not valid).
size_t utf8_at(std::string_view s, size_t i, unsigned &cp);

// Whether `s` is valid UTF-8 throughout.
bool valid_utf8(std::string_view s);

// The unit Windows upper-cases `unit` (below 0x10000) to.
unsigned upcase(unsigned unit);

inline bool ascii(std::string_view s)
{
    for (char c : s)
        if (c & 0x80)
            return false;
    return true;
}

// Whether `a` and `b` name one entry where case is ignored.
bool same_name(std::string_view a, std::string_view b);

// One name compared with many, as with a folder's entries. An ASCII name
// equals only ASCII names of its length (no unit beyond ASCII has an upper
// case within it, and a byte not part of UTF-8 is a unit beyond it), so
// most entries are told apart by their length, as before case went beyond
// ASCII.
class name_match {
  public:
    explicit name_match(std::string_view name) : name_(name), ascii_(ascii(name)) {}
    bool operator()(std::string_view other) const
    {
        return ascii_ ? same_text(name_, other) : same_name(name_, other);
    }

  private:
    std::string_view name_;
    bool ascii_;
};

// A case table held in runs (Windows' upcase table, Wine's lower case):
// each run from `first` to `last`, every `step`-th unit of it mapped alike.
template <class Run, size_t N> constexpr bool runs_in_order(const Run (&runs)[N])
{
    for (size_t i = 1; i < N; i++)
        if (runs[i - 1].last >= runs[i].first)
            return false;
    return true;
}
// The run that maps `unit`, or nullptr.
template <class Run, size_t N> const Run *run_of(const Run (&runs)[N], unsigned unit)
{
    const Run *r = std::lower_bound(
        std::begin(runs), std::end(runs), unit, [](const Run &a, unsigned u) { return a.last < u; });
    return r == std::end(runs) || unit < r->first || (unit - r->first) % r->step != 0 ? nullptr : r;
}

// The character at s[i] upper-cased, into `out`: its length there; `i`
// moves past it. A byte not part of valid UTF-8 is the character of its
// value (a kept name read in Latin-1: é is 0xE9), upper-cased where its
// upper case is a byte too (0xC9), else copied as it stands.
size_t upcase_at(std::string_view s, size_t &i, char (&out)[4]);

// `name` upper-cased as Windows shows it, in place of what `out` held;
// false, and `out` empty, where it does not fit.
template <size_t N> bool upcase_name(std::string_view name, fixed_text<N> &out)
{
    char c[4];
    out.clear();
    for (size_t i = 0; i < name.size();) {
        const size_t n = upcase_at(name, i, c);
        if (!out.append(std::string_view(c, n))) {
            out.clear();
            return false;
        }
    }
    return true;
}

} // namespace winpath
