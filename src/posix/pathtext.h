// Small text helpers shared by the path rules.
#pragma once

#include <string_view>

namespace winpath {

// s.substr without its range check: the check throws, and the program is
// built without exceptions. Positions past the end give the empty string.
inline std::string_view sub(std::string_view s, size_t pos, size_t n = std::string_view::npos)
{
    pos = pos < s.size() ? pos : s.size();
    return {s.data() + pos, n < s.size() - pos ? n : s.size() - pos};
}

inline bool is_sep(char c) { return c == '\\' || c == '/'; }

// ASCII case only: other bytes have no case in a byte-transparent code page.
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

inline std::string_view trim_dots_spaces(std::string_view s)
{
    while (!s.empty() && (s.back() == '.' || s.back() == ' '))
        s.remove_suffix(1);
    return s;
}

} // namespace winpath
