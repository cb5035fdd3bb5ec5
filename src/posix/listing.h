// One folder read for one component of a path: the entry it names, and
// how many entries share the alias that would show it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "namecase.h"
#include "shortnames.h"
#include "winpath.h"

namespace winpath {

// What one read looks for: `component` by its very name, else ignoring
// case; `by_alias` (a legal 8.3 component) as the alias of an entry, by
// either version of Wine; and the entries that have `alias` as theirs, or
// as their name, ignoring case, are counted.
struct query {
    std::string_view component;
    std::string_view by_alias; // empty: not looked for
    std::string_view alias;    // empty: nothing counted
};

// An entry of the folder by its real name, and where it is listed (FAT).
struct found_entry {
    entry_name name;
    int64_t at = -1;
    bool empty() const { return name.empty(); }
    void take(const dir_entry &e)
    {
        if (!name.assign(e.name))
            name.clear();
        at = e.at;
    }
};

// What one read found: the entry of that very name, else the first in
// byte order equal to it ignoring case, else the first listed whose alias
// `by_alias` is (and the next, should the first be gone when it is
// checked); and the count of `alias`.
struct finding {
    found_entry exact, folded, aliased, aliased_next;
    unsigned sharing = 0;
    short_source how = short_source::wine;
    dir_stamp stamp;    // the folder's, after the read
    bool still = false; // the read stood by that stamp, which no change has passed
    const found_entry *entry() const
    {
        return !exact.empty()                                  ? &exact
               : !folded.empty()                               ? &folded
               : !aliased.empty() && how == short_source::wine ? &aliased
                                                               : nullptr;
    }
};

// The names a query asks about, and those whose making, removal or
// renaming during a read may change what it finds.
class names_of final : public name_test {
  public:
    explicit names_of(const query &q) : q(q), same(q.component), aliased(q.by_alias), counted(q.alias) {}
    bool matters(std::string_view name) const override;
    // Whether `name` has the alias counted, or is it ignoring case.
    bool shares(std::string_view name) const
    {
        return !q.alias.empty() && (same_text(name, q.alias) || counted(name));
    }

    const query q;
    const name_match same;              // the component, ignoring case
    const alias_match aliased, counted; // the alias looked for, the one counted
};

// A short name the volume keeps, as Windows shows it: in upper case, and
// nothing where it cannot be an 8.3 name.
void take_kept(std::string_view kept, volume_name &out);

// Reads `dir` for `q`, again where a count of Wine's aliases is asked for,
// until a read stands: its stamp the same before and after and settled,
// or a watch set before it saw no name that matters. A folder changed a
// moment ago is read again, watched, or where no watch can be had, once
// the stamp has settled, if that takes a few milliseconds. `stood` says
// whether a read stood; where none did, `f` is the last read's. 0, or the
// first error of the disk.
DWORD read_folder(dir_reader &dirs, dir_handle dir, const query &q, finding &f, bool &stood);

} // namespace winpath
