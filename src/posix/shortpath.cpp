// GetShortPathNameA's rules: the name copied piece by piece, each component
// that is not a legal 8.3 name replaced by its short name in its directory.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "heaparray.h"
#include "listing.h"
#include "pathtext.h"
#include "shortnames.h"
#include "winpath.h"

namespace winpath {
namespace {

using path_text = fixed_text<MAX_CHARS + 1>;

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
    // Finds `component` in the directory the walk stands in: a legal 8.3
    // name by the volume's own lookup where it finds one, else in the
    // directory's listing by its long name, else (a legal 8.3 name, or one
    // a volume may keep) by its short name.
    // `shown` is what the short form shows for it, good until the next step.
    DWORD step(std::string_view component, bool last, std::string_view &shown)
    {
        if (DWORD err = enter_found())
            return err;
        shown = component;
        const bool legal = legal_83(component);
        if (legal && as_typed(component))
            return 0;
        listing *entries = nullptr;
        bool held = false;
        size_t at = NONE;
        if (DWORD err = listing_here(entries, held))
            return err;
        if (const volume_name *known = held ? entries->recall(component, at) : nullptr) {
            shown = known->empty() ? component : known->view();
            found_ = name_.assign(entries->name(at));
            return found_ ? 0 : ERROR_FILENAME_EXCED_RANGE;
        }
        const auto in_one_read = [&](reading &r) {
            return look_up(*entries, component, legal, at, shown, r);
        };
        reading once;
        const frame &here = stack_[depth_ - 1];
        if (DWORD err = held ? in_one_read(once)
                             : entries->read_until_held(
                                   dirs_, here.handle, here.id, names_of(component), in_one_read))
            return err;
        if (refused_)
            return ERROR_INVALID_NAME;
        if (!found_)
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        if (at != NONE)
            entries->remember(component, at, shown == component ? std::string_view() : shown);
        return 0;
    }
    // Goes into the entry `name` of the directory the walk stands in, by
    // its real name, without looking it up.
    DWORD enter(std::string_view name)
    {
        if (DWORD err = enter_found())
            return err;
        found_ = name_.assign(name);
        return found_ ? 0 : ERROR_FILENAME_EXCED_RANGE;
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

    // A legal 8.3 name is shown as typed whichever entry it finds, so the
    // volume's own lookup stands in for the listing where it finds one. On
    // most file systems that lookup finds the entry of exactly that name
    // and no other. Where it finds more (vfat ignores case and finds an
    // entry by its 8.3 name; ntfs-3g finds one by its DOS name written in
    // upper case; a case-folding ext4 folder ignores case), it finds the
    // entry Windows finds too, as those volumes hold no two entries that
    // one name matches. A name ending in "." is listed: vfat's lookup drops
    // the dot. Where the lookup fails for any reason, the listing decides.
    bool as_typed(std::string_view component)
    {
        if (component.back() == '.' || !name_.assign(component) || dirs_.lookup(here(), name_.c_str()) != 0)
            return false;
        found_ = true;
        return true;
    }
    // Finds `component` in one read of the directory, as step says, and
    // sets found_, name_ and `shown` (refused_ where the only name that can
    // show it is another entry's). `r` gets what the answer depends on.
    // Only a failure of the disk or of memory is returned.
    DWORD look_up(listing &entries, std::string_view component, bool legal, size_t &at,
                  std::string_view &shown, reading &r)
    {
        bool exact = false, alone = true;
        found_ = refused_ = moved_ = false;
        shown = component;
        at = entries.find(component, exact, r.depends);
        DWORD err = 0;
        if (at != NONE) {
            found_ = name_.assign(entries.name(at));
            err = !found_ ? ERROR_FILENAME_EXCED_RANGE
                  : legal ? 0
                          : short_of(entries, at, shown, r.depends, alone);
        } else if (legal || (entries.how() != short_source::made && legal_kept(component))) {
            err = by_short_name(entries, component, at, r.depends);
            // A kept name beyond ASCII is no legal 8.3 name: the volume's own shows.
            shown = !legal && found_ && !kept_.empty() ? kept_.view() : shown;
        }
        r.alone = exact && alone;
        r.moved = moved_;
        r.depends += name_sum(found_ ? name_.view() : std::string_view()) + name_sum(shown) + refused_;
        return err;
    }
    // The short name of the entry at `at`, just found: made; or kept, and
    // where the volume keeps none that can be shown (or none at all), its
    // long name. A long name that no Windows name can be (a line feed, a
    // "\" that would split it) gets the short name the model makes instead,
    // so that the line printed is one line and names this entry again.
    // `alone` says whether what is shown rests on the entry's names alone.
    DWORD short_of(listing &entries, size_t at, std::string_view &shown, uint64_t &depends, bool &alone)
    {
        shown = name_.view();
        alone = entries.how() != short_source::made;
        if (!alone) {
            const DWORD err = entries.made_of(at, kept_, depends);
            shown = kept_.view();
            return err;
        }
        if (DWORD err = kept_for(entries, at, kept_, depends))
            return err;
        if (!kept_.empty() || windows_can_hold(name_.view())) {
            shown = kept_.empty() ? shown : kept_.view();
            return 0;
        }
        alone = false;
        if (DWORD err = entries.made_of(at, kept_, depends))
            return err;
        // The made name must lead back here: the volume's own short names
        // are found before it, and one of them may be the same.
        entry_name other;
        volume_name its;
        if (entries.how() == short_source::kept) {
            if (DWORD err = dirs_.find_kept(here(), kept_.view(), other, its))
                return err;
            refused_ = !other.empty();
            depends += name_sum(other.view());
        }
        shown = kept_.view();
        return 0;
    }
    // Finds the entry whose short name `component` is, and sets kept_ to
    // the one the volume keeps for it, as shown. The model's names all hold
    // a "~"; a volume may keep any 8.3 name, and finds the entry by it
    // itself. Where a volume keeps none for an entry whose long name no
    // Windows name can be, the model's name finds it.
    DWORD by_short_name(listing &entries, std::string_view component, size_t &at, uint64_t &depends)
    {
        const short_source how = entries.how();
        const bool alias = component.find('~') != std::string_view::npos;
        volume_name kept;
        at = NONE;
        kept_.clear();
        if (how == short_source::kept) {
            if (DWORD err = dirs_.find_kept(here(), component, name_, kept))
                return err;
            found_ = !name_.empty();
            take_kept(kept.view(), kept_);
            if (found_)
                return 0;
        }
        if (alias) {
            if (DWORD err = entries.by_made(component, at, depends))
                return err;
            if (how != short_source::made && at != NONE)
                if (DWORD err = made_name_stands(entries, at, depends))
                    return err;
        }
        found_ = at != NONE && name_.assign(entries.name(at));
        return 0;
    }
    // Whether the model's name stands for the entry at `at` on a volume that
    // keeps short names or none: only where its long name cannot be shown
    // and the volume keeps no usable short name for it. `at` becomes NONE
    // where it does not.
    DWORD made_name_stands(listing &entries, size_t &at, uint64_t &depends)
    {
        volume_name kept;
        if (windows_can_hold(entries.name(at))) {
            at = NONE;
            return 0;
        }
        if (DWORD err = kept_for(entries, at, kept, depends))
            return err;
        at = kept.empty() ? at : NONE;
        return 0;
    }
    // The short name the volume keeps for the entry at `at`, as shown;
    // empty where it keeps none that can be one.
    DWORD kept_for(listing &entries, size_t at, volume_name &out, uint64_t &depends)
    {
        volume_name asked;
        out.clear();
        if (entries.how() != short_source::kept)
            return 0;
        const DWORD err = dirs_.kept_name(here(), entries.entry(at), asked);
        moved_ = moved_ || err == ERROR_RETRY;
        if (err && err != ERROR_RETRY)
            return err;
        take_kept(asked.view(), out);
        depends += name_sum(out.view());
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
    // The listing of the directory the walk stands in: one remembered that
    // still holds for it (`held`), else the one used least lately, to be
    // read.
    DWORD listing_here(listing *&entries, bool &held)
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
        held = entries->holds(here.id, now);
        return 0;
    }

    dir_reader &dirs_;
    heap_array<frame> stack_;
    size_t depth_ = 0;
    entry_name name_;  // the real name of the entry found last
    volume_name kept_; // the short name shown for it, where not its long name
    bool found_ = false, refused_ = false, moved_ = false;
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

// What a path call returns for `out`, or for `err`: the length, or the size
// the buffer needs.
path_result handed(DWORD err, const path_text &out, char *buf, DWORD size)
{
    if (err)
        return {0, err};
    if (size <= out.size())
        return {static_cast<DWORD>(out.size() + 1), 0};
    memcpy(buf, out.c_str(), out.size() + 1);
    return {static_cast<DWORD>(out.size()), 0};
}

} // namespace

path_result dir_text(std::string_view real, char drive, dir_reader &dirs, char *buf, DWORD size)
{
    path_text out;
    walker w(dirs);
    DWORD err = w.start(drive);
    for (size_t i = 0, j; !err && i < real.size(); i = j) {
        j = real.find('/', i + 1);
        j = j == std::string_view::npos ? real.size() : j;
        std::string_view name = sub(real, i + 1, j - i - 1), shown = name;
        if (name.empty())
            continue;
        err = windows_can_hold(name) ? w.enter(name) : w.step(name, false, shown);
        if (!err && !windows_can_hold(shown))
            err = ERROR_INVALID_NAME;
        if (!err && (!out.append('\\') || !out.append(shown)))
            err = ERROR_FILENAME_EXCED_RANGE;
    }
    if (!err && out.empty() && !out.append('\\'))
        err = ERROR_FILENAME_EXCED_RANGE;
    return handed(err, out, buf, size);
}

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
    if (rest.find_first_of("*?") != std::string_view::npos)
        return {0, ERROR_INVALID_NAME};
    walker w(dirs);
    DWORD err = w.start(drive);
    if (!err)
        err = walk(rest, w, out);
    if (!err)
        err = w.finish();
    return handed(err, out, buf, size);
}

} // namespace winpath
