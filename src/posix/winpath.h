// The Windows path rules of the emulation, as functions of their inputs: the
// name, the current directory and (for short names) a directory reader. The
// kernel32-shaped calls in kernel32.cpp only hand them the process's view
// of the disk (disk.h), so tests can run any name against any directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fixedtext.h"
#include "shortnames.h"

#include "winapi.h"

namespace winpath {

// Longest result of the long-path aware API, in characters.
constexpr size_t MAX_CHARS = 32767;

// The current drive and directory ("X:\dir"). The directory is asked for only
// when a name needs it.
class current_dir {
  public:
    explicit current_dir(std::string_view fixed) : fixed_(fixed) {}
    virtual ~current_dir() = default;
    current_dir(const current_dir &) = delete;
    current_dir &operator=(const current_dir &) = delete;

    virtual char drive() const { return fixed_.empty() ? 'Z' : fixed_[0]; }
    // The directory, or false with a Windows error code.
    virtual bool get(std::string_view &dir, DWORD &error)
    {
        (void)error;
        dir = fixed_;
        return true;
    }

  private:
    std::string_view fixed_;
};

// The real name of a directory entry.
using entry_name = fixed_text<1024>;

// A directory that a dir_reader opened, by the reader's own number.
using dir_handle = int;

// What a directory is, whichever way it was reached: its device and inode.
struct dir_id {
    uint64_t device = 0, inode = 0;
    bool operator==(const dir_id &o) const { return device == o.device && inode == o.inode; }
};

// When a directory last changed. `settled` says that any later change
// would show in the stamp: its times are older than the clock's last tick,
// and than the volume's coarser times (FAT keeps two seconds).
struct dir_stamp {
    int64_t mtime = 0, ctime = 0; // in nanoseconds
    bool settled = true;
    int64_t newest() const { return mtime > ctime ? mtime : ctime; }
    // Whether the times are finer than whole seconds: only then does an
    // equal stamp tell one folder from another with the same device and
    // inode (user-mode Linux's hostfs gives every mount's root 15 and 1).
    bool fine() const { return mtime % 1000000000 != 0 || ctime % 1000000000 != 0; }
    bool operator==(const dir_stamp &o) const { return mtime == o.mtime && ctime == o.ctime; }
    bool operator!=(const dir_stamp &o) const { return !(*this == o); }
};

// How the entries of a directory get their short names: Wine's aliases
// (shortnames.h); kept by the volume, one for each entry; or none at all.
enum class short_source : unsigned char { wine, kept, none };

// One entry of a directory as read: the name it is opened by, one real
// entry name, never a path: no "/", not "." or "..", never cut. An entry
// whose long name cannot be one is listed by its short name. A volume's own
// short names are asked for one entry at a time (kept_name).
struct dir_entry {
    const char *name = nullptr; // nullptr after the last entry
    int64_t at = -1;            // where the entry starts, for kept_name (FAT)
};

// Whether a name that changed in a directory matters to an answer.
class name_test {
  public:
    virtual bool matters(std::string_view name) const = 0;

  protected:
    ~name_test() = default;
};

// The disk as the short-name walk reaches it: each directory by handle,
// through its parent, by the real name of its entry there.
class dir_reader {
  public:
    virtual ~dir_reader() = default;
    // The root of `drive` or, for drive 0, the working directory.
    virtual DWORD start(char drive, dir_handle &dir, dir_id &id) = 0;
    // The directory that the entry `name` of `parent` is, links followed.
    virtual DWORD open(dir_handle parent, const char *name, dir_handle &dir, dir_id &id) = 0;
    // The parent of `dir`; the root of a drive is its own parent.
    virtual DWORD up(dir_handle dir, dir_handle &parent, dir_id &id) = 0;
    virtual void close(dir_handle dir) = 0;
    // Starts reading the entries of `dir`; says how they get short names.
    virtual DWORD list(dir_handle dir, short_source &how) = 0;
    // The next entry ("." and ".." included); e.name is nullptr after the
    // last. 0 or a Windows error code.
    virtual DWORD next(dir_entry &e) = 0;
    // Whether the entry `name` of `dir` exists, links followed.
    virtual DWORD check(dir_handle dir, const char *name) = 0;
    // Whether `dir` has an entry that the volume's own lookup finds by
    // `name`, links not followed: 0, or a Windows error code.
    virtual DWORD lookup(dir_handle dir, const char *name) = 0;
    // Whether that lookup finds an entry by its very name alone, never by
    // its name in another case or by a short name (vfat, exFAT, ntfs-3g
    // and case-folding folders find more).
    virtual bool exact_lookup(dir_handle dir)
    {
        (void)dir;
        return true;
    }
    // Starts watching `dir` for entries made, removed or renamed from now
    // on; false where the system cannot tell.
    virtual bool watch(dir_handle dir)
    {
        (void)dir;
        return false;
    }
    // Whether an entry that matters to `test` was made, removed or renamed
    // in the watched directory since watch() or the last call; true also
    // where the system lost count.
    virtual bool changed(const name_test &test)
    {
        (void)test;
        return true;
    }
    // When `dir` last changed.
    virtual DWORD stamp(dir_handle dir, dir_stamp &s)
    {
        (void)dir;
        s = {};
        return 0;
    }
    // Waits until a change to `dir` after the stamp `s` would show in its
    // stamp, where that takes a few milliseconds: false where it would not.
    virtual bool settle(dir_handle dir, const dir_stamp &s)
    {
        (void)dir, (void)s;
        return false;
    }
    // For a volume that keeps short names: the one kept for the entry `e`
    // of `dir`, as listed, left empty where it keeps
    // none. Both names are read together, as one moment's; ERROR_RETRY
    // where the entry is no longer where it was listed.
    virtual DWORD kept_name(dir_handle dir, const dir_entry &e, volume_name &kept)
    {
        (void)dir, (void)e;
        kept.clear();
        return 0;
    }
    // For such a volume: the entry of `dir` whose kept short name is `name`
    // (ignoring case), by a name it can be opened with, and the short name
    // it was found by (`name` itself where the volume finds it as typed);
    // both empty for none.
    virtual DWORD find_kept(dir_handle dir, std::string_view name, entry_name &found, volume_name &kept)
    {
        (void)dir, (void)name;
        found.clear();
        kept.clear();
        return 0;
    }
    // Whether the volume finds an entry by its kept short name in any case,
    // as Windows does; where not (ntfs-3g, and Wine through it), only the
    // name it was found by leads back to it.
    virtual bool kept_in_any_case(dir_handle dir)
    {
        (void)dir;
        return true;
    }
};

// What a kernel32 path call returns: the length without NUL, the size needed
// with NUL when the buffer is too small, or 0 with `error` as the last error.
struct path_result {
    DWORD value;
    DWORD error;
};

// GetFullPathNameA: `filepart` may be null.
path_result full_path(const char *name, current_dir &cwd, char *buf, DWORD size, char **filepart);

// The Windows text of the directory whose real names from the root of
// `drive` are `real` ("/home/x\\y", each after a "/"), without the drive:
// each name as it stands where Windows text carries it (windows_can_hold),
// else the short name it has in its folder, which must be one that text
// carries (else ERROR_INVALID_NAME), so that the text names this directory
// and no other.
path_result dir_text(std::string_view real, char drive, dir_reader &dirs, char *buf, DWORD size);

// GetShortPathNameA: `path` and `buf` may be the same buffer.
path_result short_path(const char *path, current_dir &cwd, dir_reader &dirs, char *buf, DWORD size);

} // namespace winpath
