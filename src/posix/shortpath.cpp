// GetShortPathNameA's rules: the name copied piece by piece, each component
// that is not a legal 8.3 name replaced by its short name in its directory.
#include <cstring>

#include "heaparray.h"
#include "pathtext.h"
#include "shortnames.h"
#include "winpath.h"

namespace winpath {
namespace {

using path_text = fixed_text<MAX_CHARS + 1>;
constexpr size_t NONE = static_cast<size_t>(-1);

// One directory's entries, read in one pass, and their short names, made
// when first asked for.
class listing {
  public:
    DWORD read(dir_reader &dirs, std::string_view dir)
    {
        size_t count = 0;
        text_.resize(0);
        named_ = false;
        if (DWORD err = dirs.open(dir))
            return err;
        while (const char *e = dirs.next()) {
            const size_t at = text_.size(), len = strlen(e) + 1; // with its NUL
            if (strcmp(e, ".") == 0 || strcmp(e, "..") == 0)
                continue;
            if (!text_.resize(at + len))
                return ERROR_NOT_ENOUGH_MEMORY;
            memcpy(&text_[at], e, len);
            count++;
        }
        if (!names_.resize(count))
            return ERROR_NOT_ENOUGH_MEMORY;
        for (size_t i = 0, at = 0; i < count; at += names_[i++].size() + 1)
            names_[i] = std::string_view(&text_[at]);
        return 0;
    }
    size_t size() const { return names_.size(); }
    std::string_view name(size_t i) const { return names_[i]; }
    // The entry of that very name, else the first in byte order that equals
    // it ignoring case; NONE if there is neither.
    size_t find(std::string_view component) const
    {
        size_t folded = NONE;
        for (size_t i = 0; i < names_.size(); i++) {
            if (names_[i] == component)
                return i;
            if (same_text(names_[i], component) && (folded == NONE || names_[i] < names_[folded]))
                folded = i;
        }
        return folded;
    }
    DWORD short_names(const short_name *&shorts)
    {
        DWORD err = 0;
        if (!named_)
            err = shorts_.resize(names_.size())
                      ? winpath::short_names(names_.begin(), names_.size(), shorts_.begin())
                      : ERROR_NOT_ENOUGH_MEMORY;
        named_ = err == 0;
        shorts = shorts_.begin();
        return err;
    }

  private:
    heap_array<char> text_; // the names, each with its NUL
    heap_array<std::string_view> names_;
    heap_array<short_name> shorts_;
    bool named_ = false;
};

// Finds `component` among `entries`: the entry it names, and what the short
// form shows for it. A component that names no entry may be the short name
// of one, as Windows finds entries by their short names too.
DWORD find_component(listing &entries, std::string_view component, bool last, size_t &found,
                     std::string_view &shown)
{
    const bool legal = legal_83(component);
    found = entries.find(component);
    const bool by_alias = found == NONE && legal && component.find('~') != std::string_view::npos;
    const short_name *shorts = nullptr;
    if (by_alias || (found != NONE && !legal))
        if (DWORD err = entries.short_names(shorts))
            return err;
    for (size_t i = 0; by_alias && i < entries.size() && found == NONE; i++)
        found = same_text(shorts[i].view(), component) ? i : NONE;
    if (found == NONE)
        return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    shown = legal ? component : shorts[found].view();
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
        if (path[2] != '?' || path.size() < 6 || path[5] != ':') // only \\?\ before a drive
            return ERROR_INVALID_PARAMETER;
        out.append(sub(path, 0, 4));
        path = sub(path, 4);
    }
    const bool drive = path.size() >= 2 && path[1] == ':';
    rest = sub(path, drive ? 2 : 0);
    out.append(sub(path, 0, drive ? 2 : 0));
    const bool rooted = !rest.empty() && is_sep(rest[0]);
    if (rooted || (drive && upper(path[0]) != upper(cwd.drive()))) { // a drive's root
        dir.clear();
        dir.append(drive ? path[0] : cwd.drive());
        return dir.append(":\\") ? 0 : ERROR_FILENAME_EXCED_RANGE;
    }
    std::string_view base;
    DWORD error = 0;
    if (!cwd.get(base, error))
        return error;
    return dir.assign(base) ? 0 : ERROR_FILENAME_EXCED_RANGE;
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
    listing entries;
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
            size_t found = NONE;
            std::string_view shown;
            if (DWORD err = entries.read(dirs, dir.view()))
                return err;
            if (DWORD err = find_component(entries, c, last, found, shown))
                return err;
            fits = out.append(shown) && enter(dir, entries.name(found));
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
