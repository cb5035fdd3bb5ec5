// GetShortPathNameA's rules: the name copied piece by piece, each component
// that is not a legal 8.3 name replaced by its short name in its directory.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "heaparray.h"
#include "pathtext.h"
#include "shortnames.h"
#include "winpath.h"

namespace winpath {
namespace {

using path_text = fixed_text<MAX_CHARS + 1>;
constexpr size_t NONE = NO_NAME; // no entry, as the short-name functions say it

// A short name the volume keeps, as Windows shows it: in upper case (vfat's
// shortname=lower gives it in lower case; the volume holds it in upper), and
// nothing where it cannot be an 8.3 name (a damaged volume may hold anything).
void take_kept(std::string_view kept, volume_name &out)
{
    out.clear();
    if (!legal_kept(kept))
        return;
    for (char c : kept)
        out.append(upper(c));
}

// One directory's entries, read in one pass and held once, compactly: the
// names one after another, and the short names the volume keeps where they
// came with the entries. A short name the model makes is made for the one
// entry asked about, from the few names it depends on; the last few
// lookups are remembered, so a walk that meets a directory again (through
// a link to it) names nothing twice.
class listing {
  public:
    // A directory that changes while it is read gives a listing that was
    // never true: it counts only when the directory's stamp is the same
    // before and after, and, where the stamp may not yet show a change,
    // when three reads in a row give the same entries. A directory that
    // does not hold still fails the walk (31, as any other failure of the
    // disk).
    DWORD read(dir_reader &dirs, dir_handle dir, const dir_id &id)
    {
        constexpr int READS = 5, ALIKE = 3;
        held_ = false;
        dir_stamp last;
        uint64_t last_sum = 0;
        int alike = 0;
        for (int i = 0; i < READS; i++) {
            dir_stamp before, after;
            uint64_t sum = 0;
            if (DWORD err = dirs.stamp(dir, before))
                return err;
            if (DWORD err = read_once(dirs, dir, before.settled ? nullptr : &sum))
                return err;
            if (DWORD err = dirs.stamp(dir, after))
                return err;
            if (before != after) {
                alike = 0;
                continue;
            }
            alike = alike > 0 && last == after && last_sum == sum ? alike + 1 : 1;
            if (before.settled || alike == ALIKE) {
                id_ = id;
                stamp_ = after;
                held_ = true;
                return 0;
            }
            last = after;
            last_sum = sum;
        }
        return ERROR_GEN_FAILURE;
    }
    // Whether this holds the whole listing of directory `id` as it stands
    // now: two folders may share a device and inode (hostfs gives every
    // mount's root 15 and 1), and a folder may have changed since.
    bool holds(const dir_id &id, const dir_stamp &now) const { return held_ && id_ == id && stamp_ == now; }
    short_source how() const { return how_; }
    // Whether the volume's short names came with the entries.
    bool lists_kept() const { return kept_.size() > 0; }
    std::string_view name(size_t at) const { return &text_[at]; }
    const char *name_c(size_t at) const { return &text_[at]; } // with its NUL
    // The entry of that very name, else the first in byte order that equals
    // it ignoring case; NONE if there is neither.
    size_t find(std::string_view component) const
    {
        size_t folded = NONE;
        for (size_t at = 0; at < text_.size();) {
            const std::string_view y = name(at);
            if (y == component)
                return at;
            if (same_text(y, component) && (folded == NONE || y < name(folded)))
                folded = at;
            at += y.size() + 1;
        }
        return folded;
    }
    // The short name the volume listed for the entry at `at`; empty when
    // its own is unusable.
    void kept_of(size_t at, volume_name &out) const
    {
        const kept_name *k = std::lower_bound(
            kept_.begin(), kept_.end(), at, [](const kept_name &a, size_t b) { return a.at < b; });
        out = k != kept_.end() && k->at == at ? k->name : volume_name();
    }
    // The short name the model makes for the entry at `at`.
    DWORD made_of(size_t at, volume_name &out) const
    {
        short_name made;
        const DWORD err = short_name_of({text_.begin(), text_.size()}, at, made);
        out.assign(made.view());
        return err;
    }
    // The entry whose listed kept name `component` is, ignoring case, or NONE.
    size_t by_kept(std::string_view component) const
    {
        for (const kept_name &k : kept_)
            if (same_text(k.name.view(), component))
                return k.at;
        return NONE;
    }
    // The entry to which the model gives `component`, or NONE.
    DWORD by_made(std::string_view component, size_t &at) const
    {
        return entry_with_short_name({text_.begin(), text_.size()}, component, at);
    }
    // A lookup of `component` made before: the entry found, and what the
    // short form showed for it.
    const volume_name *recall(std::string_view component, size_t &at) const
    {
        for (const lookup &l : lookups_)
            if (!l.component.empty() && l.component.view() == component) {
                at = l.at;
                return &l.shown;
            }
        return nullptr;
    }
    void remember(std::string_view component, size_t at, std::string_view shown)
    {
        lookup &l = lookups_[next_lookup_++ % LOOKUPS];
        if (!l.component.assign(component) || !l.shown.assign(shown))
            l.component.clear();
        l.at = at;
    }

  private:
    struct kept_name {
        size_t at;
        volume_name name;
    };
    struct lookup {
        entry_name component;
        size_t at;
        volume_name shown;
    };
    static constexpr size_t LOOKUPS = 4;

    // One pass over the entries; `sum`, where asked for, gets a checksum of
    // them in their order (FNV-1a), to tell two reads apart.
    DWORD read_once(dir_reader &dirs, dir_handle dir, uint64_t *sum)
    {
        text_.resize(0);
        kept_.resize(0);
        for (lookup &l : lookups_)
            l.component.clear();
        if (DWORD err = dirs.list(dir, how_))
            return err;
        uint64_t h = 0xcbf29ce484222325u;
        const auto mix = [&h](const char *s) {
            for (size_t i = 0; i == 0 || s[i - 1]; i++)
                h = (h ^ static_cast<unsigned char>(s[i])) * 0x100000001b3u;
        };
        while (true) {
            dir_entry e;
            if (DWORD err = dirs.next(e))
                return err;
            if (!e.name)
                break;
            if (sum) {
                mix(e.name);
                mix(e.kept ? e.kept : "");
            }
            if ((strcmp(e.name, ".") != 0 && strcmp(e.name, "..") != 0) && !add(e))
                return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (sum)
            *sum = h;
        return 0;
    }
    // An entry, with the short name the volume keeps where one came with it.
    bool add(const dir_entry &e)
    {
        const size_t at = text_.size(), len = strlen(e.name) + 1; // with its NUL
        if (!text_.resize(at + len))
            return false;
        memcpy(&text_[at], e.name, len);
        if (!e.kept)
            return true;
        const size_t n = kept_.size();
        if (!kept_.resize(n + 1))
            return false;
        kept_[n].at = at;
        take_kept({e.kept, strnlen(e.kept, volume_name::capacity())}, kept_[n].name);
        return true;
    }

    heap_array<char> text_; // the names, each with its NUL
    heap_array<kept_name> kept_;
    dir_id id_;
    dir_stamp stamp_;
    short_source how_ = short_source::made;
    bool held_ = false;
    lookup lookups_[LOOKUPS];
    size_t next_lookup_ = 0;
};

constexpr size_t LISTINGS = 4; // the directories one walk remembers

// Where a walk stands: the directories it went into, each held open, and
// the entry it found last, opened only when the walk goes into it (a file
// may be named on the way if ".." follows it). A directory met again, by
// a link or by "..", is neither read nor named again while it is one of
// the last few listed, and has not changed since.
class walker {
  public:
    explicit walker(dir_reader &dirs) : dirs_(dirs) {}
    ~walker()
    {
        while (depth_)
            dirs_.close(stack_[--depth_].handle);
    }
    walker(const walker &) = delete;
    walker &operator=(const walker &) = delete;

    // From the root of `drive`, or the working directory for drive 0.
    DWORD start(char drive)
    {
        frame f{};
        if (!stack_.resize(1))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (DWORD err = dirs_.start(drive, f.handle, f.id))
            return err;
        stack_[depth_++] = f;
        return 0;
    }
    // Finds `component` in the directory the walk stands in, by its long
    // name, else (a legal 8.3 name, or one a volume may keep) by its short
    // name. `shown` is what the short form shows for it, good until the
    // next step.
    DWORD step(std::string_view component, bool last, std::string_view &shown)
    {
        listing *entries = nullptr;
        size_t at = NONE;
        if (DWORD err = enter_found())
            return err;
        if (DWORD err = listing_here(entries))
            return err;
        shown = component;
        if (const volume_name *known = entries->recall(component, at)) {
            shown = known->empty() ? component : known->view();
            found_ = name_.assign(entries->name(at));
            return found_ ? 0 : ERROR_FILENAME_EXCED_RANGE;
        }
        const bool legal = legal_83(component);
        at = entries->find(component);
        if (at != NONE) {
            if (!name_.assign(entries->name(at)))
                return ERROR_FILENAME_EXCED_RANGE;
            found_ = true;
            if (DWORD err = legal ? 0 : short_of(*entries, at, shown))
                return err;
        } else if (legal || (entries->how() != short_source::made && legal_kept(component))) {
            if (DWORD err = by_short_name(*entries, component, at))
                return err;
        }
        if (!found_)
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        if (at != NONE)
            entries->remember(component, at, shown == component ? std::string_view() : shown);
        return 0;
    }
    // "..": back where the walk came from; above where it started, the
    // parent on the disk.
    DWORD leave()
    {
        frame up{};
        if (std::exchange(found_, false))
            return 0;
        if (depth_ > 1) {
            dirs_.close(stack_[--depth_].handle);
            return 0;
        }
        if (DWORD err = dirs_.up(stack_[0].handle, up.handle, up.id))
            return err;
        dirs_.close(stack_[0].handle);
        stack_[0] = up;
        return 0;
    }
    // Whether what the walk ends on exists, links followed.
    DWORD finish() { return found_ ? dirs_.check(stack_[depth_ - 1].handle, name_.c_str()) : 0; }

  private:
    struct frame {
        dir_handle handle;
        dir_id id;
    };

    // The short name of the entry at `at`, just found: made; or kept, and
    // where the volume keeps none that can be shown (or none at all), its
    // long name. A long name that no Windows name can be (a line feed, a
    // "\" that would split it) gets the short name the model makes instead,
    // so that the line printed is one line and names this entry again.
    DWORD short_of(listing &entries, size_t at, std::string_view &shown)
    {
        shown = name_.view();
        if (entries.how() == short_source::made) {
            const DWORD err = entries.made_of(at, kept_);
            shown = kept_.view();
            return err;
        }
        if (DWORD err = kept_for(entries, at, kept_))
            return err;
        if (!kept_.empty() || windows_can_hold(name_.view())) {
            shown = kept_.empty() ? shown : kept_.view();
            return 0;
        }
        if (DWORD err = entries.made_of(at, kept_))
            return err;
        // The made name must lead back here: the volume's own short names
        // are found before it, and one of them may be the same.
        entry_name other;
        if (entries.lists_kept() && entries.by_kept(kept_.view()) != NONE)
            return ERROR_INVALID_NAME;
        if (entries.how() == short_source::kept && !entries.lists_kept()) {
            if (DWORD err = dirs_.find_kept(here(), kept_.view(), other))
                return err;
            if (!other.empty())
                return ERROR_INVALID_NAME;
        }
        shown = kept_.view();
        return 0;
    }
    // Finds the entry whose short name `component` is. The model's names all
    // hold a "~"; a volume may keep any 8.3 name. A volume that keeps short
    // names without listing them finds the entry itself. Where a volume
    // keeps none for an entry whose long name no Windows name can be, the
    // model's name finds it.
    DWORD by_short_name(listing &entries, std::string_view component, size_t &at)
    {
        const short_source how = entries.how();
        const bool alias = component.find('~') != std::string_view::npos;
        at = NONE;
        if (how == short_source::kept && entries.lists_kept()) {
            at = entries.by_kept(component);
        } else if (how == short_source::kept) {
            if (DWORD err = dirs_.find_kept(here(), component, name_))
                return err;
            found_ = !name_.empty();
            if (found_)
                return 0;
        }
        if (at == NONE && alias) {
            if (DWORD err = entries.by_made(component, at))
                return err;
            if (how != short_source::made && at != NONE)
                if (DWORD err = made_name_stands(entries, at))
                    return err;
        }
        found_ = at != NONE && name_.assign(entries.name(at));
        return 0;
    }
    // Whether the model's name stands for the entry at `at` on a volume that
    // keeps short names or none: only where its long name cannot be shown
    // and the volume keeps no usable short name for it. `at` becomes NONE
    // where it does not.
    DWORD made_name_stands(listing &entries, size_t &at)
    {
        volume_name kept;
        if (windows_can_hold(entries.name(at))) {
            at = NONE;
            return 0;
        }
        if (DWORD err = kept_for(entries, at, kept))
            return err;
        at = kept.empty() ? at : NONE;
        return 0;
    }
    // The short name the volume keeps for the entry at `at`, as shown: from
    // the listing, or asked for; empty where it keeps none that can be one.
    DWORD kept_for(listing &entries, size_t at, volume_name &out)
    {
        volume_name asked;
        out.clear();
        if (entries.how() != short_source::kept)
            return 0;
        if (entries.lists_kept()) {
            entries.kept_of(at, out);
            return 0;
        }
        if (DWORD err = dirs_.kept_name(here(), entries.name_c(at), asked))
            return err;
        take_kept(asked.view(), out);
        return 0;
    }
    dir_handle here() const { return stack_[depth_ - 1].handle; }

    DWORD enter_found()
    {
        frame f{};
        if (!found_)
            return 0;
        if (!stack_.resize(depth_ + 1))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (DWORD err = dirs_.open(stack_[depth_ - 1].handle, name_.c_str(), f.handle, f.id))
            return err;
        stack_[depth_++] = f;
        found_ = false;
        return 0;
    }
    // The listing of the directory the walk stands in: one remembered, else
    // read into the one used least lately.
    DWORD listing_here(listing *&entries)
    {
        const frame &here = stack_[depth_ - 1];
        dir_stamp now;
        if (DWORD err = dirs_.stamp(here.handle, now))
            return err;
        size_t pick = 0;
        for (size_t i = 0; i < LISTINGS; i++) {
            if (lists_[i].holds(here.id, now)) {
                pick = i;
                break;
            }
            pick = used_[i] < used_[pick] ? i : pick;
        }
        used_[pick] = ++clock_;
        entries = &lists_[pick];
        return entries->holds(here.id, now) ? 0 : entries->read(dirs_, here.handle, here.id);
    }

    dir_reader &dirs_;
    heap_array<frame> stack_;
    size_t depth_ = 0;
    entry_name name_;  // the real name of the entry found last
    volume_name kept_; // the short name shown for it, where not its long name
    bool found_ = false;
    listing lists_[LISTINGS];
    unsigned long used_[LISTINGS] = {};
    unsigned long clock_ = 0;
};

// Where a path starts (the root of a drive, or 0 for the working directory)
// and the part of it still to be walked; `out` gets what comes before.
DWORD start_of(std::string_view path, current_dir &cwd, path_text &out, char &drive, std::string_view &rest)
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
    const bool has_drive = path.size() >= 2 && path[1] == ':';
    rest = sub(path, has_drive ? 2 : 0);
    out.append(sub(path, 0, has_drive ? 2 : 0));
    const bool rooted = !rest.empty() && is_sep(rest[0]);
    drive = 0;
    if (rooted || (has_drive && upper(path[0]) != upper(cwd.drive())))
        drive = has_drive ? path[0] : cwd.drive();
    return 0;
}

// An absolute path that begins with the working directory's own text
// (GetFullPathNameA's result for a relative name) walks that part by the
// directory's real names, which may hold a backslash, "?" or "*": its
// length in `rest`, or 0.
size_t cwd_part(char drive, std::string_view rest, current_dir &cwd)
{
    std::string_view text;
    DWORD err = 0;
    if (drive == 0 || upper(drive) != upper(cwd.drive()) || !cwd.get(text, err) || cwd.real().empty())
        return 0;
    const std::string_view dir = sub(text, 2);
    if (dir.size() < 2 || sub(rest, 0, dir.size()) != dir ||
        (rest.size() > dir.size() && !is_sep(rest[dir.size()])))
        return 0;
    return dir.size();
}

// Walks the working directory by its real names.
DWORD walk_cwd(current_dir &cwd, walker &w, path_text &out)
{
    const std::string_view real = cwd.real();
    DWORD err = 0;
    for (size_t i = 0, j; i < real.size(); i = j) {
        j = real.find('/', i + 1);
        j = j == std::string_view::npos ? real.size() : j;
        const std::string_view name = sub(real, i + 1, j - i - 1);
        std::string_view shown;
        if (name.empty())
            continue;
        err = w.step(name, false, shown);
        if (err)
            return err;
        if (!out.append('\\') || !out.append(shown))
            return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

// Walks `rest`, adding to `out` what the short form shows.
DWORD walk(std::string_view rest, walker &w, path_text &out)
{
    for (size_t i = 0; i < rest.size();) {
        if (is_sep(rest[i])) {
            if (!out.append(rest[i++]))
                return ERROR_FILENAME_EXCED_RANGE;
            continue;
        }
        size_t j = rest.find_first_of("\\/", i);
        j = j == std::string_view::npos ? rest.size() : j;
        std::string_view shown = sub(rest, i, j - i);
        i = j;
        DWORD err = 0;
        if (shown == "..")
            err = w.leave();
        else if (shown != ".")
            err = w.step(shown, rest.find_first_not_of("\\/", j) == std::string_view::npos, shown);
        if (err)
            return err;
        if (!out.append(shown))
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
    std::string_view rest;
    char drive = 0;
    if (DWORD err = start_of(path, cwd, out, drive, rest))
        return {0, err};
    const size_t own = cwd_part(drive, rest, cwd);
    if (sub(rest, own).find_first_of("*?") != std::string_view::npos)
        return {0, ERROR_INVALID_NAME};
    walker w(dirs);
    DWORD err = w.start(drive);
    if (!err && own)
        err = walk_cwd(cwd, w, out);
    if (!err)
        err = walk(sub(rest, own), w, out);
    if (!err)
        err = w.finish();
    if (err)
        return {0, err};
    if (size <= out.size())
        return {static_cast<DWORD>(out.size() + 1), 0};
    memcpy(buf, out.c_str(), out.size() + 1);
    return {static_cast<DWORD>(out.size()), 0};
}

} // namespace winpath
