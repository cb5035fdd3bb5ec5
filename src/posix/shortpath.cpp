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

// Where a walk stands: the directories it went into, each held open, and
// the entry it found last, opened only when the walk goes into it (a file
// may be named on the way if ".." follows it). A component looked up in a
// directory met again, by a link or by "..", is not read again while the
// directory has not changed since.
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
    // name by the volume's own lookup where it finds one, else in one read
    // of the directory by its long name, ignoring case, else (a legal 8.3
    // name, or one a volume may keep) by its short name. `shown` is what
    // the short form shows for it, good until the next step.
    DWORD step(std::string_view component, bool last, std::string_view &shown)
    {
        if (DWORD err = enter_found())
            return err;
        shown = component;
        checked_ = false;
        const bool legal = legal_83(component);
        if (legal && as_typed(component))
            return 0;
        dir_stamp now;
        if (DWORD err = dirs_.stamp(here(), now))
            return err;
        if (const memo *m = recall(component, now)) {
            found_ = name_.assign(m->name.view()) && shown_.assign(m->shown.view());
            shown = m->shown.empty() ? component : shown_.view();
            return found_ ? 0 : ERROR_FILENAME_EXCED_RANGE;
        }
        bool still = false;
        DWORD err = ERROR_RETRY;
        // An entry gone between the read and the check of it: the folder
        // is read again, as often as a read may be.
        for (int tries = 0; tries < 4 && err == ERROR_RETRY; tries++)
            err = find(component, legal, last, still, now);
        if (err && err != ERROR_RETRY)
            return err;
        if (!found_)
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        shown = shown_.empty() ? component : shown_.view();
        if (still)
            remember(component, now);
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
    DWORD finish() { return found_ && !checked_ ? dirs_.check(stack_[depth_ - 1].handle, name_.c_str()) : 0; }

  private:
    struct frame {
        dir_handle handle;
        dir_id id;
    };
    // A component found before in a directory, and what was shown for it
    // (empty: the component itself).
    struct memo {
        dir_id id;
        dir_stamp stamp;
        entry_name component, name, shown;
    };
    static constexpr size_t MEMOS = 4;

    // A legal 8.3 name is shown as typed whichever entry it finds, so the
    // volume's own lookup stands in for the listing where it finds one,
    // and finds the entry of exactly that name and no other. Where it may
    // find more (vfat ignores case and finds an entry by its 8.3 name;
    // ntfs-3g finds one by its DOS name; a case-folding folder folds more
    // than Windows does), or fails for any reason, the listing decides, in
    // the order Windows looks: the very name, the name ignoring case, a
    // short name.
    bool as_typed(std::string_view component)
    {
        if (!name_.assign(component) || dirs_.lookup(here(), name_.c_str()) != 0 ||
            !dirs_.exact_lookup(here()))
            return false;
        found_ = true;
        return true;
    }
    // One read of the directory for `component`: sets found_, name_ and
    // shown_ (empty where the component itself shows). `still` says whether
    // the read stood by the stamp `now` it ends with. ERROR_RETRY where the
    // entry found was gone when it was checked or its short name asked for.
    DWORD find(std::string_view component, bool legal, bool last, bool &still, dir_stamp &now)
    {
        found_ = false;
        shown_.clear();
        const short_name alias = legal ? short_name() : common_alias(component);
        const query q{component, legal ? component : std::string_view(), alias.view()};
        finding f;
        bool stood = false;
        if (DWORD err = read_folder(dirs_, here(), q, f, stood))
            return err;
        still = f.still;
        now = f.stamp;
        const found_entry *e = f.entry();
        if (!e && f.how == short_source::kept && (legal || legal_kept(component)))
            return by_kept_name(component, legal);
        if (!e)
            return 0;
        // Gone by the name listed: by an alias, the next that has it is
        // what Wine opens now; else the folder says where to. The last
        // component is checked, links followed, as the walk's last check,
        // however the read stood.
        const auto gone = [&](const found_entry &x) {
            const DWORD err =
                last ? dirs_.check(here(), x.name.c_str()) : dirs_.lookup(here(), x.name.c_str());
            checked_ = last && err == 0;
            return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
        };
        if ((last || !stood) && gone(*e)) {
            if (e != &f.aliased || f.aliased_next.empty() || gone(f.aliased_next))
                return ERROR_RETRY;
            e = &f.aliased_next;
        }
        found_ = name_.assign(e->name.view());
        if (!found_)
            return ERROR_FILENAME_EXCED_RANGE;
        if (legal || e == &f.aliased || e == &f.aliased_next)
            return 0;
        const DWORD err = show(f, *e, alias, stood);
        found_ = err == 0;
        return err;
    }
    // What shows the entry `e`, found by its long name: the short name its
    // volume keeps; Wine's alias, where it is that entry's alone; else its
    // long name, where Windows text carries it (123 where not).
    DWORD show(const finding &f, const found_entry &e, const short_name &alias, bool stood)
    {
        const std::string_view name = e.name.view();
        if (f.how == short_source::kept) {
            if (DWORD err = kept_for(e))
                return err;
            if (DWORD err = kept_leads_back(name))
                return err;
        } else if (f.how == short_source::wine) {
            const short_name own = e.name.view() == f.exact.name.view() ? alias : common_alias(name);
            unsigned sharing = f.sharing;
            if (!own.empty() && own.view() != alias.view()) { // found in another case: counted anew
                finding other;
                const query q{name, {}, own.view()};
                if (DWORD err = read_folder(dirs_, here(), q, other, stood))
                    return err;
                sharing = other.sharing;
            }
            if (!own.empty() && stood && sharing == 1)
                shown_.assign(own.view());
        }
        if (!shown_.empty())
            return 0;
        // No short name: the long name shows, as the volume holds it, where
        // Windows text carries it and Wine can name it (Wine reads bytes
        // that are not UTF-8 as U+FFFD).
        if (!windows_can_hold(name) || !valid_utf8(name))
            return ERROR_INVALID_NAME;
        return shown_.assign(name) ? 0 : ERROR_FILENAME_EXCED_RANGE;
    }
    // The short name the volume keeps for `e` into shown_, where it can
    // be one.
    DWORD kept_for(const found_entry &e)
    {
        volume_name asked, kept;
        dir_entry listed;
        listed.name = e.name.c_str();
        listed.at = e.at;
        const DWORD err = dirs_.kept_name(here(), listed, asked);
        if (err)
            return err;
        take_kept(asked.view(), kept);
        shown_.assign(kept.view());
        return 0;
    }
    // A kept short name in shown_ leads back to the entry `name` only where
    // no other entry has it as its long name, ignoring case: Windows looks
    // for long names first. No volume Windows wrote holds such a pair, but
    // one written from Linux may (ntfs-3g makes "otherd~1" beside a folder
    // whose DOS name is OTHERD~1). Where it does not, shown_ is cleared.
    DWORD kept_leads_back(std::string_view name)
    {
        if (shown_.empty() || same_name(shown_.view(), name))
            return 0;
        const query q{shown_.view(), {}, {}};
        finding other;
        bool stood = false;
        if (DWORD err = read_folder(dirs_, here(), q, other, stood))
            return err;
        if (other.entry())
            shown_.clear();
        return 0;
    }
    // The entry whose kept short name `component` is, on a volume that
    // keeps them. A kept name beyond ASCII is no legal 8.3 name: the
    // volume's own shows. Where the volume finds it only as it keeps it,
    // the name it was found by shows.
    DWORD by_kept_name(std::string_view component, bool legal)
    {
        volume_name kept, shown;
        if (DWORD err = dirs_.find_kept(here(), component, name_, kept))
            return err;
        found_ = !name_.empty();
        if (!found_ || (legal && kept.view() == component))
            return 0;
        if (!dirs_.kept_in_any_case(here()))
            shown.assign(kept.view());
        else if (!legal)
            take_kept(kept.view(), shown);
        shown_.assign(shown.view());
        return 0;
    }
    dir_handle here() const { return stack_[depth_ - 1].handle; }

    const memo *recall(std::string_view component, const dir_stamp &now) const
    {
        const dir_id &id = stack_[depth_ - 1].id;
        for (const memo &m : memos_)
            if (!m.component.empty() && m.id == id && m.stamp == now && m.component.view() == component)
                return &m;
        return nullptr;
    }
    // Kept only where an equal stamp tells this folder from another (finer
    // than whole seconds: user-mode Linux's hostfs gives every mount's root
    // one device and inode).
    void remember(std::string_view component, const dir_stamp &now)
    {
        if (!now.fine())
            return;
        memo &m = memos_[next_memo_++ % MEMOS];
        m.id = stack_[depth_ - 1].id;
        m.stamp = now;
        if (!m.component.assign(component) || !m.name.assign(name_.view()) || !m.shown.assign(shown_.view()))
            m.component.clear();
    }

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

    dir_reader &dirs_;
    heap_array<frame> stack_;
    size_t depth_ = 0;
    entry_name name_;                      // the real name of the entry found last
    entry_name shown_;                     // what shows it, where not the component typed
    bool found_ = false, checked_ = false; // checked_: found_ exists, as finish asks
    memo memos_[MEMOS];
    size_t next_memo_ = 0;
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
