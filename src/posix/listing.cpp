// A folder read for one component. Nothing of the folder is held but what
// the component needs: the entry found, and a count.
//
// A folder that changes while it is read gives a listing that was never
// true: an entry renamed during the read may be seen under both names or
// under neither. The count of an alias stands only where no such entry
// can have been missed: the folder's stamp is the same before and after
// the read and would show any change (settled), or the system, watching
// from before the read, names no entry made, removed or renamed during it
// whose name or alias matters. Where no read stands after a few, the
// caller shows what needs no count (the long name).
#include "listing.h"

#include <cstring>

namespace winpath {
namespace {

constexpr int READS = 4;

void read_entry(const dir_entry &e, const names_of &names, finding &f)
{
    const query &q = names.q;
    const std::string_view y = e.name;
    if (y == q.component) {
        f.exact.take(e);
    } else if (f.exact.empty() && names.same(y) && (f.folded.empty() || y < f.folded.name.view())) {
        f.folded.take(e);
    } else if (!q.by_alias.empty() && f.aliased_next.empty() && y != f.aliased.name.view() &&
               names.aliased(y)) {
        (f.aliased.empty() ? f.aliased : f.aliased_next).take(e); // a torn read may list one twice
    }
    f.sharing += names.shares(y);
}

DWORD read_once(dir_reader &dirs, dir_handle dir, const names_of &names, finding &f)
{
    f = finding();
    if (DWORD err = dirs.list(dir, f.how))
        return err;
    while (true) {
        dir_entry e;
        if (DWORD err = dirs.next(e))
            return err;
        if (!e.name)
            return 0;
        if (strcmp(e.name, ".") != 0 && strcmp(e.name, "..") != 0)
            read_entry(e, names, f);
    }
}

} // namespace

// vfat's shortname=lower gives a kept name in lower case; the volume holds
// it in upper. A damaged volume may hold anything.
void take_kept(std::string_view kept, volume_name &out)
{
    out.clear();
    if (legal_kept(kept))
        upcase_name(kept, out);
}

bool names_of::matters(std::string_view name) const { return same(name) || aliased(name) || shares(name); }

DWORD read_folder(dir_reader &dirs, dir_handle dir, const query &q, finding &f, bool &stood)
{
    const names_of names(q);
    bool watching = false;
    stood = false;
    for (int reads = 0; reads < READS; reads++) {
        dir_stamp before, after;
        if (DWORD err = dirs.stamp(dir, before))
            return err;
        if (watching)
            dirs.changed(names); // what changed before this read is in it
        if (DWORD err = read_once(dirs, dir, names, f))
            return err;
        if (DWORD err = dirs.stamp(dir, after))
            return err;
        f.stamp = after;
        f.still = before == after && before.settled;
        stood = f.still || (watching && !dirs.changed(names));
        // Only a count needs the whole folder to hold still: an entry found
        // by a name it no longer has is checked by that name.
        if (stood || f.how != short_source::wine || q.alias.empty())
            return 0;
        if (!watching)
            watching = dirs.watch(dir);
        if (!watching && before == after)
            dirs.settle(dir, after);
    }
    return 0;
}

} // namespace winpath
