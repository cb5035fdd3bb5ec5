// A directory's entries, and when a read of them stands.
//
// A directory that changes while it is read gives a listing that was never
// true: an entry renamed during the read may be seen under both names or
// under neither. A read counts whole when the directory's stamp is the same
// before and after it and any change would have shown in it (settled).
// An answer that rests on its entry's own names alone (found by its very
// name, with the short name the volume keeps for it, read together) is true
// of the moment it was read, and stands at once. Otherwise the directory is
// read again, watched: the system says which entries were made, removed or
// renamed during the read, and the read stands for one lookup when none of
// them is a name its answer may depend on (names_of). So files that come
// and go beside the entry cost one read more, never the answer. Where the
// system cannot watch, three reads in a row must agree on those names
// instead. Where they never hold still, the lookup fails after six reads
// (ERROR_GEN_FAILURE, as any other failure of the disk) rather than guess.
#include "listing.h"

#include <algorithm>
#include <cstring>

#include "namecase.h"

namespace winpath {

bool listing::held_reads::still(const dir_stamp &before, const dir_stamp &after) const
{
    return before == after && before.settled;
}

bool names_of::matters(std::string_view name) const
{
    return same_name(name, component_) || may_change_alias(name, ext_.view());
}

bool listing::held_reads::unchanged(const reading &r)
{
    reads_++;
    alike_ = 0;
    return !r.moved;
}

bool listing::held_reads::alike(const reading &r)
{
    reads_++;
    if (r.moved) {
        alike_ = 0;
        return false;
    }
    if (r.alone)
        return true;
    alike_ = alike_ > 0 && last_ == r.depends ? alike_ + 1 : 1;
    last_ = r.depends;
    return alike_ == ALIKE;
}

// A listing is kept for the walk's next visits only where an equal stamp
// can tell this folder from another (finer than whole seconds).
void listing::keep(const dir_id &id, const dir_stamp &s)
{
    id_ = id;
    stamp_ = s;
    held_ = s.fine();
}

DWORD listing::read(dir_reader &dirs, dir_handle dir)
{
    held_ = false;
    text_.resize(0);
    starts_.resize(0);
    for (lookup &l : lookups_)
        l.component.clear();
    if (DWORD err = dirs.list(dir, how_))
        return err;
    while (true) {
        dir_entry e;
        if (DWORD err = dirs.next(e))
            return err;
        if (!e.name)
            return 0;
        if ((strcmp(e.name, ".") != 0 && strcmp(e.name, "..") != 0) && !add(e))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// A short name the volume keeps, as Windows shows it: in upper case (vfat's
// shortname=lower gives it in lower case; the volume holds it in upper), and
// nothing where it cannot be an 8.3 name (a damaged volume may hold anything).
void take_kept(std::string_view kept, volume_name &out)
{
    out.clear();
    if (legal_kept(kept))
        upcase_name(kept, out);
}

bool listing::add(const dir_entry &e)
{
    const size_t at = text_.size(), len = strlen(e.name) + 1; // with its NUL
    if (!text_.resize(at + len))
        return false;
    memcpy(&text_[at], e.name, len);
    if (e.at >= 0 && e.at <= UINT32_MAX && at <= UINT32_MAX) {
        const size_t n = starts_.size();
        if (!starts_.resize(n + 1))
            return false;
        starts_[n] = {static_cast<uint32_t>(at), static_cast<uint32_t>(e.at)};
    }
    return true;
}

dir_entry listing::entry(size_t at) const
{
    const start *s = std::lower_bound(
        starts_.begin(), starts_.end(), at, [](const start &a, size_t b) { return a.at < b; });
    dir_entry e;
    e.name = name_c(at);
    e.at = s != starts_.end() && s->at == at ? static_cast<int64_t>(s->where) : -1;
    return e;
}

size_t listing::find(std::string_view component, bool &exact, uint64_t &depends) const
{
    const name_match same(component);
    size_t folded = NONE;
    uint64_t sum = 0;
    exact = false;
    for (size_t at = 0; at < text_.size();) {
        const std::string_view y = name(at);
        if (y == component) {
            exact = true;
            depends += name_sum(y);
            return at;
        }
        if (same(y)) {
            sum += name_sum(y);
            folded = folded == NONE || y < name(folded) ? at : folded;
        }
        at += y.size() + 1;
    }
    depends += sum;
    return folded;
}

DWORD listing::made_of(size_t at, volume_name &out, uint64_t &depends) const
{
    short_name made;
    const DWORD err = short_name_of({text_.begin(), text_.size()}, at, made, &depends);
    out.assign(made.view());
    return err;
}

DWORD listing::by_made(std::string_view component, size_t &at, uint64_t &depends) const
{
    return entry_with_short_name({text_.begin(), text_.size()}, component, at, &depends);
}

const volume_name *listing::recall(std::string_view component, size_t &at) const
{
    for (const lookup &l : lookups_)
        if (!l.component.empty() && l.component.view() == component) {
            at = l.at;
            return &l.shown;
        }
    return nullptr;
}

void listing::remember(std::string_view component, size_t at, std::string_view shown)
{
    lookup &l = lookups_[next_lookup_++ % LOOKUPS];
    if (!l.component.assign(component) || !l.shown.assign(shown))
        l.component.clear();
    l.at = at;
}

} // namespace winpath
