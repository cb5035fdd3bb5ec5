// GetShortPathNameA's rules: the name copied piece by piece, each component
// that is not a legal 8.3 name replaced by its alias in its directory.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pathtext.h"
#include "winpath.h"

namespace winpath {
namespace {

constexpr int PLAIN_ALIASES = 4; // ~1 to ~4 before the checksum form

bool legal_83(std::string_view s)
{
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < s.size(); i++) {
        const unsigned char c = s[i];
        if (c >= 0x80 || c == ' ' || strchr("\"*+,/:;<=>?[\\]|", c) != nullptr)
            return false;
        if (c == '.') {
            if (dot != std::string_view::npos)
                return false;
            dot = i;
        }
    }
    const size_t base = dot == std::string_view::npos ? s.size() : dot;
    const size_t ext = dot == std::string_view::npos ? 0 : s.size() - dot - 1;
    return base >= 1 && base <= 8 && ext <= 3;
}

// A long name's character as it may stand in an alias, or 0 when it is dropped.
char alias_char(unsigned char c)
{
    if (c <= ' ' || c >= 0x7F)
        return 0;
    // Characters that cannot stand in a short name; Windows names never hold
    // the last nine, POSIX names may.
    if (strchr("+,;=[]\"*/:<>?\\|", c) != nullptr)
        return '_';
    return upper(static_cast<char>(c));
}

// Checksum of a long name for the ~n form of crowded stems: FNV-1a over the
// bytes, folded to 16 bits.
unsigned checksum(std::string_view name)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : name)
        h = (h ^ c) * 16777619u;
    return ((h >> 16) ^ h) & 0xFFFF;
}

// The parts of an alias that come from the long name.
struct stem {
    std::string base; // cleaned, up to 6 characters
    size_t base_len;  // cleaned length before the cut
    std::string ext;  // up to 3 characters

    bool operator==(const stem &o) const { return base == o.base && ext == o.ext; }
};

stem stem_of(std::string_view name)
{
    stem s{{}, 0, {}};
    const size_t lead = name.find_first_not_of('.');
    name = lead == std::string_view::npos ? std::string_view{} : name.substr(lead);
    const size_t dot = name.rfind('.');
    const std::string_view base = name.substr(0, dot);
    for (unsigned char c : base)
        if (char a = c == '.' ? 0 : alias_char(c)) {
            if (s.base_len++ < 6)
                s.base += a;
        }
    if (dot != std::string_view::npos)
        for (unsigned char c : name.substr(dot + 1))
            if (char a = alias_char(c); a && s.ext.size() < 3)
                s.ext += a;
    return s;
}

std::string with_ext(std::string alias, const stem &s)
{
    if (!s.ext.empty())
        alias += "." + s.ext;
    return alias;
}

std::string plain_alias(const stem &s, int n) { return with_ext(s.base + "~" + std::to_string(n), s); }

std::string checksum_alias(const stem &s, unsigned sum, int n)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string a = s.base.substr(0, 2);
    for (int shift = 12; shift >= 0; shift -= 4)
        a += HEX[(sum >> shift) & 0xF];
    return with_ext(a + "~" + std::to_string(n), s);
}

// What one pass over a directory tells about a component.
struct scan {
    bool exact = false;
    std::string folded;                 // first entry equal ignoring case, in byte order
    int before = 0;                     // same-stem long names before it in byte order
    int before_same_sum = 0;            // ... of those, with the same checksum
    std::array<std::string, PLAIN_ALIASES> first;  // the smallest same-stem long names
    std::vector<std::string> short_names;          // legal 8.3 entries that look like aliases
};

void keep_smallest(std::array<std::string, PLAIN_ALIASES> &first, std::string_view name)
{
    for (auto &slot : first) {
        if (slot.empty() || name < slot) {
            std::string carry(name);
            for (auto *s = &slot; s != first.data() + first.size(); s++)
                std::swap(carry, *s);
            return;
        }
    }
}

// One pass over `dir`: finds `target` and, when `want` is set, ranks it among
// the long names that share its alias stem.
DWORD scan_dir(dir_reader &dirs, std::string_view dir, std::string_view target, const stem *want, scan &out)
{
    if (DWORD err = dirs.open(dir))
        return err;
    const unsigned sum = want ? checksum(target) : 0;
    while (const char *e = dirs.next()) {
        const std::string_view name(e);
        if (name == "." || name == "..")
            continue;
        if (name == target)
            out.exact = true;
        else if (same_text(name, target) && (out.folded.empty() || name < out.folded))
            out.folded = name;
        if (!want)
            continue;
        if (legal_83(name)) {
            if (name.find('~') != std::string_view::npos)
                out.short_names.emplace_back(name);
            continue;
        }
        if (name == target || !(stem_of(name) == *want))
            continue;
        keep_smallest(out.first, name);
        if (name < target) {
            out.before++;
            out.before_same_sum += checksum(name) == sum;
        }
    }
    return 0;
}

bool taken(const scan &sc, const std::string &alias)
{
    return std::any_of(sc.short_names.begin(), sc.short_names.end(),
                       [&](const std::string &n) { return same_text(n, alias); });
}

// The alias of `name` from what the pass over its directory found.
std::string alias_of(std::string_view name, const stem &s, const scan &sc)
{
    int rank = sc.before;
    int plain = 0; // aliases ~1..~4 handed out to names before this one, or to it
    if (s.base_len > 2) {
        for (int n = 1; n <= PLAIN_ALIASES; n++) {
            std::string alias = plain_alias(s, n);
            if (taken(sc, alias))
                continue;
            if (plain++ == rank)
                return alias;
        }
    }
    // Crowded stems take the checksum form, numbered among equal checksums.
    const unsigned sum = checksum(name);
    int n = sc.before_same_sum;
    for (int i = 0; i < plain && i < PLAIN_ALIASES; i++)
        if (!sc.first[i].empty() && sc.first[i] < name && checksum(sc.first[i]) == sum)
            n--;
    for (int k = 1;; k++) {
        std::string alias = checksum_alias(s, sum, k);
        if (!taken(sc, alias) && n-- == 0)
            return alias;
    }
}

// Finds `component` in `dir`: its on-disk name, and its alias when it needs one.
DWORD find_component(dir_reader &dirs, const std::string &dir, std::string_view component, bool last,
                     std::string &on_disk, std::string &shown)
{
    const bool keep = legal_83(component);
    const stem s = stem_of(component);
    scan sc;
    if (DWORD err = scan_dir(dirs, dir, component, keep ? nullptr : &s, sc))
        return err;
    if (sc.exact) {
        on_disk = component;
    } else if (!sc.folded.empty()) {
        on_disk = sc.folded;
        if (!keep) {
            // Ranked again, now against the name as it stands on disk.
            sc = scan{};
            if (DWORD err = scan_dir(dirs, dir, on_disk, &s, sc))
                return err;
        }
    } else {
        return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    shown = keep ? std::string(component) : alias_of(on_disk, s, sc);
    return 0;
}

// The directory a path starts from, and the part of it still to be walked.
DWORD start_of(std::string_view path, current_dir &cwd, std::string &out, std::string &dir, std::string_view &rest)
{
    if (path.size() >= 2 && is_sep(path[0]) && is_sep(path[1])) {
        const bool device = path.size() >= 3 && (path[2] == '.' || path[2] == '?') &&
                            (path.size() == 3 || is_sep(path[3]));
        if (!device)
            return ERROR_BAD_NETPATH;
        const bool drive_follows = path[2] == '?' && path.size() >= 6 && path[5] == ':';
        if (!drive_follows)
            return ERROR_INVALID_PARAMETER;
        out.assign(path.substr(0, 4));
        path = path.substr(4);
    }
    std::string_view base;
    DWORD error = 0;
    if (path.size() >= 2 && path[1] == ':') {
        out.append(path.substr(0, 2));
        rest = path.substr(2);
        if (!rest.empty() && is_sep(rest[0]))
            dir.assign(path.substr(0, 2)).append("\\");
        else if (upper(path[0]) != upper(cwd.drive()))
            dir.assign(path.substr(0, 2)).append("\\");
        else if (!cwd.get(base, error))
            return error;
    } else if (!path.empty() && is_sep(path[0])) {
        dir.assign(1, cwd.drive()).append(":\\");
        rest = path;
    } else {
        if (!cwd.get(base, error))
            return error;
        rest = path;
    }
    if (!base.empty())
        dir.assign(base);
    return 0;
}

void leave(std::string &dir)
{
    const size_t sep = dir.rfind('\\');
    dir.resize(sep <= 2 ? 3 : sep);
}

void enter(std::string &dir, std::string_view name)
{
    if (dir.back() != '\\')
        dir += '\\';
    dir.append(name);
}

} // namespace

path_result short_path(const char *path_c, current_dir &cwd, dir_reader &dirs, char *buf, DWORD size)
{
    const std::string_view path(path_c);
    if (path.empty())
        return {0, ERROR_PATH_NOT_FOUND};
    std::string out;
    std::string dir;
    std::string_view rest;
    if (DWORD err = start_of(path, cwd, out, dir, rest))
        return {0, err};
    if (rest.find_first_of("*?") != std::string_view::npos)
        return {0, ERROR_INVALID_NAME};

    std::string on_disk;
    std::string shown;
    for (size_t i = 0; i < rest.size();) {
        if (is_sep(rest[i])) {
            out += rest[i++];
            continue;
        }
        size_t j = std::min(rest.find_first_of("\\/", i), rest.size());
        const std::string_view c = rest.substr(i, j - i);
        i = j;
        if (c == "." || c == "..") {
            if (c == "..")
                leave(dir);
            out.append(c);
            continue;
        }
        const bool last = rest.find_first_not_of("\\/", j) == std::string_view::npos;
        if (DWORD err = find_component(dirs, dir, c, last, on_disk, shown))
            return {0, err};
        out += shown;
        enter(dir, on_disk);
    }
    if (DWORD err = dirs.check(dir))
        return {0, err};
    if (out.size() > MAX_CHARS)
        return {0, ERROR_FILENAME_EXCED_RANGE};
    if (size <= out.size())
        return {static_cast<DWORD>(out.size() + 1), 0};
    memcpy(buf, out.data(), out.size());
    buf[out.size()] = '\0';
    return {static_cast<DWORD>(out.size()), 0};
}

} // namespace winpath
