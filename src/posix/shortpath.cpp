// GetShortPathNameA's rules: the name copied piece by piece, each component
// that is not a legal 8.3 name replaced by its alias in its directory.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "fixedtext.h"
#include "pathtext.h"
#include "winpath.h"

namespace winpath {
namespace {

constexpr int PLAIN_ALIASES = 4;   // ~1 to ~4 before the checksum form
constexpr int RANKED_STEMS = 8;    // stems a checksum alias is ranked in, in one pass
constexpr size_t NAME_BYTES = 256; // a directory entry's name and its NUL
constexpr size_t ALIAS_BYTES = 32; // "XXXXXX~N.EXT", N of any size

using name_text = fixed_text<NAME_BYTES>;
using alias_text = fixed_text<ALIAS_BYTES>;

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

// Checksum of a long name for the alias of a crowded stem: FNV-1a over the
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
    char base[7];    // cleaned, cut to 6 characters
    size_t base_len; // cleaned length before the cut
    char ext[4];     // up to 3 characters

    bool operator==(const stem &o) const { return strcmp(base, o.base) == 0 && strcmp(ext, o.ext) == 0; }
};

stem stem_of(std::string_view name)
{
    stem s{"", 0, ""};
    const size_t lead = name.find_first_not_of('.');
    name = lead == std::string_view::npos ? std::string_view{} : sub(name, lead);
    const size_t dot = name.rfind('.');
    for (unsigned char c : sub(name, 0, dot))
        if (char a = c == '.' ? '\0' : alias_char(c)) {
            if (s.base_len < 6)
                s.base[s.base_len] = a;
            s.base_len++;
        }
    s.base[s.base_len < 6 ? s.base_len : 6] = '\0';
    size_t ext = 0;
    if (dot != std::string_view::npos)
        for (unsigned char c : sub(name, dot + 1))
            if (char a = alias_char(c); a && ext < 3)
                s.ext[ext++] = a;
    s.ext[ext] = '\0';
    return s;
}

alias_text plain_alias(const stem &s, int n)
{
    char buf[ALIAS_BYTES];
    snprintf(buf, sizeof buf, "%s~%d%s%s", s.base, n, s.ext[0] ? "." : "", s.ext);
    alias_text a;
    a.append(buf);
    return a;
}

alias_text checksum_alias(const stem &s, unsigned sum, int n)
{
    char buf[ALIAS_BYTES];
    snprintf(buf, sizeof buf, "%.2s%04X~%d%s%s", s.base, sum, n, s.ext[0] ? "." : "", s.ext);
    alias_text a;
    a.append(buf);
    return a;
}

// The numbers n of aliases "stem~n" that legal 8.3 entries already hold.
class taken_numbers {
  public:
    void note(std::string_view entry, const alias_text &prefix, std::string_view ext)
    {
        // entry is PREFIX~N or PREFIX~N.EXT, ignoring case
        if (entry.size() <= prefix.size() || !same_text(sub(entry, 0, prefix.size()), prefix.view()))
            return;
        std::string_view rest = sub(entry, prefix.size());
        const size_t dot = rest.find('.');
        if (!same_text(dot == std::string_view::npos ? "" : sub(rest, dot + 1), ext))
            return;
        unsigned n = 0;
        for (char c : sub(rest, 0, dot)) {
            if (c < '0' || c > '9' || n > 63)
                return;
            n = n * 10 + (c - '0');
        }
        if (n < 64)
            bits_ |= uint64_t{1} << n;
    }
    void add(int n) { bits_ |= n < 64 ? uint64_t{1} << n : 0; }
    bool has(int n) const { return n < 64 && (bits_ >> n & 1); }

  private:
    uint64_t bits_ = 0;
};

// A component that may be an alias ("LONGDI~1", "LO3B8E~2.TXT"): what the
// long name it stands for must have. Either form may fit, or both.
struct alias_query {
    stem plain{"", 0, ""}; // the stem of a plain alias ~1..~4; empty base if not one
    int number = 0;        // the n of ~n
    bool summed = false;   // whether it has the checksum form: prefix, 4 hex digits, ~n
    char prefix[3] = "";   // the base characters before the checksum
    unsigned sum = 0;
};

// Whether `c` (a legal 8.3 name) has the shape of an alias.
bool parse_alias(std::string_view c, alias_query &q)
{
    const size_t tilde = c.find('~');
    if (tilde == std::string_view::npos || tilde > 6)
        return false;
    const size_t dot = c.find('.', tilde);
    const std::string_view digits = sub(c, tilde + 1, dot - tilde - 1);
    const std::string_view ext = dot == std::string_view::npos ? std::string_view{} : sub(c, dot + 1);
    if (digits.empty() || digits[0] == '0' || digits.size() > 6 || ext.size() > 3)
        return false;
    for (char d : digits) {
        if (d < '0' || d > '9')
            return false;
        q.number = q.number * 10 + (d - '0');
    }
    for (size_t i = 0; i < ext.size(); i++)
        q.plain.ext[i] = upper(ext[i]);
    q.plain.ext[ext.size()] = '\0';
    const size_t base = tilde;
    q.summed = base >= 4;
    for (size_t i = 0; i < base; i++) {
        const char u = upper(c[i]);
        q.plain.base[i] = u;
        if (i + 4 < base)
            q.prefix[i] = u;
        else if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')))
            q.summed = false;
        else
            q.sum = q.sum * 16 + (u <= '9' ? u - '0' : u - 'A' + 10);
    }
    q.prefix[base >= 4 ? base - 4 : 0] = '\0';
    const bool plain = base >= 3 && q.number <= PLAIN_ALIASES;
    q.plain.base[plain ? base : 0] = '\0';
    return plain || q.summed;
}

// What one pass over a directory tells about a component.
struct scan {
    bool exact = false;
    name_text folded;               // first entry equal ignoring case, in byte order
    int before = 0;                 // same-stem long names before it in byte order
    int before_same_sum = 0;        // ... of those, with the same checksum
    name_text first[PLAIN_ALIASES]; // the smallest same-stem long names
    taken_numbers plain, summed;    // numbers held by legal names
};

// What one pass keeps of a stem that a checksum alias may come from.
struct stem_names {
    stem s{"", 0, ""};
    name_text first[PLAIN_ALIASES]; // its smallest long names
    taken_numbers plain;            // the plain numbers legal names hold
};

// What one pass gathers for a component that may be a checksum alias: the
// long names it may stand for, and enough of their stems to rank them. A
// stem met when the table is full is ranked by a pass of its own.
struct summed_search {
    summed_search(const alias_query &query, std::string_view alias) : q(query)
    {
        prefix.append(sub(alias, 0, alias.find('~') + 1));
    }
    const alias_query &q;
    alias_text prefix;             // the alias up to its "~"
    taken_numbers summed;          // the numbers legal names hold after it
    name_text like[PLAIN_ALIASES]; // the smallest long names it may stand for
    stem_names stems[RANKED_STEMS];
    int count = 0;

    stem_names *find(const stem &s, bool add)
    {
        for (int i = 0; i < count; i++)
            if (stems[i].s == s)
                return &stems[i];
        if (!add || count == RANKED_STEMS)
            return nullptr;
        stems[count].s = s;
        return &stems[count++];
    }
};

void keep_smallest(name_text (&first)[PLAIN_ALIASES], std::string_view name)
{
    for (int i = 0; i < PLAIN_ALIASES; i++) {
        if (first[i].empty() || name < first[i].view()) {
            for (int j = PLAIN_ALIASES - 1; j > i; j--)
                first[j] = first[j - 1];
            first[i].assign(name);
            return;
        }
    }
}

// Whether a long name of stem `s` may have a checksum alias with the prefix
// and extension of `q`.
bool shares_prefix(const stem &s, const alias_query &q)
{
    return strncmp(s.base, q.prefix, 2) == 0 && strlen(q.prefix) == (s.base_len < 2 ? s.base_len : 2) &&
           strcmp(s.ext, q.plain.ext) == 0;
}

// Notes what entry `name` tells of the stems a checksum alias may come from.
void note_summed(std::string_view name, bool legal, summed_search &ss)
{
    if (legal) {
        ss.summed.note(name, ss.prefix, ss.q.plain.ext);
        alias_query held;
        if (name.find('~') == std::string_view::npos || !parse_alias(name, held) || !held.plain.base[0])
            return;
        held.plain.base_len = strlen(held.plain.base);
        if (shares_prefix(held.plain, ss.q))
            if (stem_names *sn = ss.find(held.plain, true))
                sn->plain.add(held.number);
        return;
    }
    const stem s = stem_of(name);
    if (!shares_prefix(s, ss.q))
        return;
    if (stem_names *sn = ss.find(s, true))
        keep_smallest(sn->first, name);
    if (checksum(name) == ss.q.sum)
        keep_smallest(ss.like, name);
}

// One pass over `dir`: finds `target` and, when `want` is set, ranks it among
// the long names that share its alias stem; with `ss`, gathers what ranks the
// long names a checksum alias may stand for.
DWORD scan_dir(dir_reader &dirs, std::string_view dir, std::string_view target, const stem *want,
               summed_search *ss, scan &out)
{
    if (DWORD err = dirs.open(dir))
        return err;
    const unsigned sum = want ? checksum(target) : 0;
    alias_text plain_prefix, summed_prefix;
    if (want) {
        plain_prefix.append(want->base);
        plain_prefix.append('~');
        summed_prefix = checksum_alias(*want, sum, 0);
        summed_prefix.resize(summed_prefix.view().find('~') + 1);
    }
    while (const char *e = dirs.next()) {
        const std::string_view name(e);
        if (name == "." || name == "..")
            continue;
        if (name == target)
            out.exact = true;
        else if (same_text(name, target) && (out.folded.empty() || name < out.folded.view()))
            out.folded.assign(name);
        if (!want && !ss)
            continue;
        const bool legal = legal_83(name);
        if (ss)
            note_summed(name, legal, *ss);
        if (!want)
            continue;
        if (legal) {
            out.plain.note(name, plain_prefix, want->ext);
            out.summed.note(name, summed_prefix, want->ext);
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

// The alias of `name` from what the pass over its directory found.
alias_text alias_of(std::string_view name, const stem &s, const scan &sc)
{
    int plain = 0; // aliases ~1..~4 handed out to names before this one, or to it
    if (s.base_len > 2) {
        for (int n = 1; n <= PLAIN_ALIASES; n++) {
            if (sc.plain.has(n))
                continue;
            if (plain++ == sc.before)
                return plain_alias(s, n);
        }
    }
    // Crowded stems take the checksum form, numbered among equal checksums.
    const unsigned sum = checksum(name);
    int n = sc.before_same_sum;
    for (int i = 0; i < plain; i++)
        if (!sc.first[i].empty() && sc.first[i].view() < name && checksum(sc.first[i].view()) == sum)
            n--;
    for (int k = 1;; k++)
        if (!sc.summed.has(k) && n-- == 0)
            return checksum_alias(s, sum, k);
}

using path_text = fixed_text<MAX_CHARS + 1>;

// The long name whose alias `component` is, from the pass that looked for it
// by name: a plain alias is the n-th free number handed to the n-th smallest
// name of its stem; a checksum alias is checked by ranking each long name it
// may stand for among its stem. Empty when no entry has that alias.
DWORD alias_owner(dir_reader &dirs, std::string_view dir, std::string_view component, const alias_query &q,
                  const scan &sc, summed_search *ss, name_text &owner)
{
    if (q.plain.base[0] && !sc.plain.has(q.number)) {
        int k = 0;
        for (int n = 1; n < q.number; n++)
            k += !sc.plain.has(n);
        owner = sc.first[k];
        if (!owner.empty())
            return 0;
    }
    for (int i = 0; ss && i < PLAIN_ALIASES && !ss->like[i].empty(); i++) {
        const name_text &name = ss->like[i];
        const stem s = stem_of(name.view());
        scan rank;
        if (const stem_names *sn = ss->find(s, false)) {
            for (int j = 0; j < PLAIN_ALIASES; j++) {
                rank.first[j] = sn->first[j];
                rank.before += !sn->first[j].empty() && sn->first[j].view() < name.view();
            }
            for (int j = 0; j < i; j++)
                rank.before_same_sum += stem_of(ss->like[j].view()) == s;
            rank.plain = sn->plain;
            rank.summed = ss->summed;
        } else if (DWORD err = scan_dir(dirs, dir, name.view(), &s, nullptr, rank)) {
            return err;
        }
        if (same_text(alias_of(name.view(), s, rank).view(), component)) {
            owner = name;
            return 0;
        }
    }
    owner.clear();
    return 0;
}

// Finds `component` in `dir`: its on-disk name, and what the short form shows.
// A component that names no entry may be the alias of one, as Windows finds
// entries by their short names too.
DWORD find_component(dir_reader &dirs, const path_text &dir, std::string_view component, bool last,
                     name_text &on_disk, alias_text &alias, bool &keep)
{
    keep = legal_83(component);
    const stem s = stem_of(component);
    alias_query q;
    const bool maybe_alias = keep && parse_alias(component, q);
    const stem *want = keep ? (maybe_alias && q.plain.base[0] ? &q.plain : nullptr) : &s;
    std::optional<summed_search> search; // only for a checksum alias: it is large
    if (maybe_alias && q.summed)
        search.emplace(q, component);
    summed_search *ss = search ? &*search : nullptr;
    scan sc;
    if (DWORD err = scan_dir(dirs, dir.view(), component, want, ss, sc))
        return err;
    if (sc.exact) {
        on_disk.assign(component);
    } else if (!sc.folded.empty()) {
        on_disk = sc.folded;
        if (!keep) {
            // Ranked again, now against the name as it stands on disk.
            sc = scan{};
            if (DWORD err = scan_dir(dirs, dir.view(), on_disk.view(), &s, nullptr, sc))
                return err;
        }
    } else {
        if (DWORD err = maybe_alias ? alias_owner(dirs, dir.view(), component, q, sc, ss, on_disk) : 0)
            return err;
        if (!maybe_alias || on_disk.empty())
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    if (!keep)
        alias = alias_of(on_disk.view(), s, sc);
    return 0;
}

// The directory a path starts from, and the part of it still to be walked.
DWORD start_of(std::string_view path, current_dir &cwd, path_text &out, path_text &dir,
               std::string_view &rest)
{
    if (path.size() >= 2 && is_sep(path[0]) && is_sep(path[1])) {
        const bool device =
            path.size() >= 3 && (path[2] == '.' || path[2] == '?') && (path.size() == 3 || is_sep(path[3]));
        if (!device)
            return ERROR_BAD_NETPATH;
        const bool drive_follows = path[2] == '?' && path.size() >= 6 && path[5] == ':';
        if (!drive_follows)
            return ERROR_INVALID_PARAMETER;
        out.append(sub(path, 0, 4));
        path = sub(path, 4);
    }
    std::string_view base;
    DWORD error = 0;
    rest = path;
    if (path.size() >= 2 && path[1] == ':') {
        out.append(sub(path, 0, 2));
        rest = sub(path, 2);
        const bool own_root = (!rest.empty() && is_sep(rest[0])) || upper(path[0]) != upper(cwd.drive());
        if (own_root) {
            dir.assign(sub(path, 0, 2));
            dir.append('\\');
        } else if (!cwd.get(base, error)) {
            return error;
        }
    } else if (!path.empty() && is_sep(path[0])) {
        dir.assign(std::string_view());
        dir.append(cwd.drive());
        dir.append(":\\");
    } else if (!cwd.get(base, error)) {
        return error;
    }
    if (!base.empty() && !dir.assign(base))
        return ERROR_FILENAME_EXCED_RANGE;
    return 0;
}

void leave(path_text &dir)
{
    const size_t sep = dir.view().rfind('\\');
    dir.resize(sep <= 2 ? 3 : sep);
}

bool enter(path_text &dir, std::string_view name)
{
    return (dir.back() == '\\' || dir.append('\\')) && dir.append(name);
}

// Walks `rest` from `dir`, adding to `out` what the short form shows.
DWORD walk(std::string_view rest, dir_reader &dirs, path_text &dir, path_text &out)
{
    name_text on_disk;
    alias_text alias;
    for (size_t i = 0; i < rest.size();) {
        if (is_sep(rest[i])) {
            if (!out.append(rest[i++]))
                return ERROR_FILENAME_EXCED_RANGE;
            continue;
        }
        size_t j = rest.find_first_of("\\/", i);
        j = j == std::string_view::npos ? rest.size() : j;
        const std::string_view c = sub(rest, i, j - i);
        i = j;
        bool fits = true;
        if (c == "." || c == "..") {
            if (c == "..")
                leave(dir);
            fits = out.append(c);
        } else {
            const bool last = rest.find_first_not_of("\\/", j) == std::string_view::npos;
            bool keep = false;
            if (DWORD err = find_component(dirs, dir, c, last, on_disk, alias, keep))
                return err;
            fits = out.append(keep ? c : alias.view()) && enter(dir, on_disk.view());
        }
        if (!fits)
            return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

} // namespace

path_result short_path(const char *path_c, current_dir &cwd, dir_reader &dirs, char *buf, DWORD size)
{
    const std::string_view path(path_c);
    if (path.empty())
        return {0, ERROR_PATH_NOT_FOUND};
    path_text out;
    path_text dir;
    std::string_view rest;
    if (DWORD err = start_of(path, cwd, out, dir, rest))
        return {0, err};
    if (rest.find_first_of("*?") != std::string_view::npos)
        return {0, ERROR_INVALID_NAME};
    if (DWORD err = walk(rest, dirs, dir, out))
        return {0, err};
    if (DWORD err = dirs.check(dir.view()))
        return {0, err};
    if (size <= out.size())
        return {static_cast<DWORD>(out.size() + 1), 0};
    memcpy(buf, out.c_str(), out.size() + 1);
    return {static_cast<DWORD>(out.size()), 0};
}

} // namespace winpath
