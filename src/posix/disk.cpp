// The real disk, reached by handle: each directory opened through its
// parent by the real name of its entry there, as find and fts walk. No
// POSIX path is ever made from Windows text: a POSIX name may hold a "\",
// and a real path may be longer than the kernel takes whole.
#include "disk.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "errmap.h"
#include "namecase.h"
#include "pathtext.h"

#ifdef __linux__
#include <cstdio>
#include <linux/fs.h>
#include <linux/msdos_fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

// Inode numbers above 2^32 and times after 2038 are everyday facts (the
// build asks for 64-bit ones where the C library's default is narrower).
static_assert(
    sizeof(off_t) >= 8 && sizeof(ino_t) >= 8 && sizeof(time_t) >= 8,
    "off_t, ino_t and time_t must be 64 bits wide: build with _FILE_OFFSET_BITS=64 and _TIME_BITS=64");

namespace winpath {
namespace {

constexpr int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

dir_id id_of(const struct stat &st)
{
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// The directory handle `fd` and what it is; a Windows error code when it
// is no handle (a directory on the way, so ENOENT is 3).
DWORD opened(int fd, dir_handle &dir, dir_id &id)
{
    struct stat st;
    if (fd < 0)
        return code_from_errno(errno, false);
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return code_from_errno(err, false);
    }
    dir = fd;
    id = id_of(st);
    return 0;
}

// A listing of `dir` of its own (fdopendir takes the handle it is given);
// nullptr with errno set where there is none.
DIR *list_of(dir_handle dir)
{
    const int fd = openat(dir, ".", DIR_FLAGS);
    DIR *d = fd < 0 ? nullptr : fdopendir(fd);
    if (!d && fd >= 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
    }
    return d;
}

// How the volume that holds a directory's entries names them in 8.3 form.
// Linux tells FAT (its vfat driver reads the 8.3 names on disk), exFAT
// (none) and NTFS through ntfs-3g (DOS names as extended attributes, on
// every file); every other file system, and Linux's ntfs3 driver, which
// gives no way to read them, gets the aliases Wine makes.
enum class volume : unsigned char { other, fat, exfat, ntfs_3g };

constexpr long FAT_MAGIC = 0x4d44;

volume volume_of(int fd)
{
#ifdef __linux__
    constexpr long EXFAT_MAGIC = 0x2011BAB0, FUSE_MAGIC = 0x65735546;
    struct statfs st;
    char attrib[8];
    if (fstatfs(fd, &st) != 0)
        return volume::other;
    if (st.f_type == FAT_MAGIC)
        return volume::fat;
    if (st.f_type == EXFAT_MAGIC)
        return volume::exfat;
    if (st.f_type == FUSE_MAGIC && fgetxattr(fd, "system.ntfs_attrib", attrib, sizeof attrib) > 0)
        return volume::ntfs_3g;
#else
    (void)fd;
#endif
    return volume::other;
}

// Whether `name`, from a listing, is one name, never a path: a damaged or
// crafted FAT volume may list a long name that holds "/" (to openat, a
// path), and one that is empty. An entry name is one that is not "." or
// ".." either.
bool one_name(const char *name) { return name[0] && !strchr(name, '/'); }
bool entry_name_ok(const char *name)
{
    return one_name(name) && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

constexpr int64_t SECOND = 1000000000;
int64_t nanoseconds(const struct timespec &t) { return static_cast<int64_t>(t.tv_sec) * SECOND + t.tv_nsec; }

// Whether a directory stamped `s` at `now` would show any later change in
// its stamp: not while its times are within the one tick of the coarse
// clock the kernel stamps them with, or ahead of the clock; not within two
// seconds where they are whole seconds (qemu-user gives some machines no
// nanoseconds); never on FAT, whose times are two seconds coarse and whose
// root folder keeps none.
bool settled(int fd, const dir_stamp &s, int64_t now)
{
#ifdef __linux__
    struct statfs st;
    if (fstatfs(fd, &st) == 0 && st.f_type == FAT_MAGIC)
        return false;
#else
    (void)fd;
#endif
    if (s.newest() >= now)
        return false;
    return s.newest() < now - 2 * SECOND || s.fine();
}

#ifdef __linux__
// The FAT entry that starts at `at`, as the driver's ioctl gives it: [0]
// its 8.3 name, [1] its long name, empty where the 8.3 entry is all there
// is, cut to 255 bytes (FAT holds up to 765 bytes of UTF-8). False after
// the last entry or on a failure.
using fat_pair = __fat_dirent[2];
constexpr size_t FAT_CUT = sizeof(fat_pair{}[0].d_name) - 1;

// A FAT entry's 8.3 name, copied to list the entry by; nullptr where that
// is no name either.
const char *by_short_name(const fat_pair &pair, char (&out)[sizeof(__fat_dirent{}.d_name)])
{
    if (!entry_name_ok(pair[0].d_name))
        return nullptr;
    memcpy(out, pair[0].d_name, sizeof out);
    return out;
}

bool fat_entry_at(int fd, int64_t at, fat_pair &pair)
{
    // The kernel leaves the inode and offset of an entry without a long
    // name unwritten, and valgrind's model of the call marks less.
    memset(pair, 0, sizeof pair);
    if (lseek(fd, at, SEEK_SET) != at || ioctl(fd, VFAT_IOCTL_READDIR_BOTH, pair) <= 0)
        return false;
    pair[0].d_name[FAT_CUT] = pair[1].d_name[FAT_CUT] = '\0';
    return true;
}

// Whether the entry that starts at `at` has the whole long name `name`,
// as getdents gives it.
bool fat_name_at(int fd, int64_t at, const char *name)
{
    alignas(8) char buf[1024]; // a getdents entry: a name of up to 765 bytes
    constexpr size_t ROOM = sizeof buf - offsetof(struct dirent64, d_name);
    if (lseek(fd, at, SEEK_SET) != at || getdents64(fd, buf, sizeof buf) <= 0)
        return false;
    const auto *d = reinterpret_cast<const struct dirent64 *>(buf);
    return strnlen(d->d_name, ROOM) < ROOM && strcmp(d->d_name, name) == 0;
}
#endif

} // namespace

posix_dirs::~posix_dirs()
{
    end_list();
    if (notify_ >= 0)
        ::close(notify_);
}

DWORD posix_dirs::start(char drive, dir_handle &dir, dir_id &id)
{
    if (drive == 0)
        return opened(openat(AT_FDCWD, cwd_ ? cwd_ : ".", DIR_FLAGS), dir, id);
    if (upper(drive) != upper(drive_))
        return ERROR_PATH_NOT_FOUND;
    if (DWORD err = opened(openat(AT_FDCWD, root_, DIR_FLAGS), dir, id))
        return err;
    root_id_ = id;
    root_known_ = true;
    return 0;
}

DWORD posix_dirs::open(dir_handle parent, const char *name, dir_handle &dir, dir_id &id)
{
    if (DWORD err = opened(openat(parent, name, DIR_FLAGS), dir, id))
        return err;
    return past_covered(parent, name, dir, id);
}

// ntfs-3g finds a folder by its DOS name under a folder mounted over it, as
// the kernel knows mounts by the long name alone: the DOS name leads into
// the folder the mount hides, and so it does for Wine; on Windows both
// names lead to the same place. A path through it names nothing both
// agree on: ERROR_PATH_NOT_FOUND.
DWORD posix_dirs::past_covered(dir_handle parent, const char *name, dir_handle &dir, dir_id &id)
{
    struct stat up, st;
    volume_name dos;
    if (fstat(parent, &up) != 0 || id.device != static_cast<uint64_t>(up.st_dev))
        return 0;
    if (up.st_dev != volume_dev_) { // one volume's folders, one question
        volume_dev_ = up.st_dev;
        ntfs_3g_ = volume_of(parent) == volume::ntfs_3g;
    }
    if (!ntfs_3g_ || dos_name(parent, name, dos, st) != 0 || !same_name(dos.view(), name))
        return 0;
    DIR *d = list_of(parent);
    if (!d)
        return 0;
    DWORD err = 0;
    while (const dirent *entry = readdir(d)) {
        if (entry->d_ino != id.inode || strcmp(entry->d_name, name) == 0 ||
            fstatat(parent, entry->d_name, &st, 0) != 0 || st.st_dev == up.st_dev)
            continue;
        ::close(dir);
        err = ERROR_PATH_NOT_FOUND;
        break;
    }
    closedir(d);
    return err;
}

// ".." of the drive's root is the root itself, as on Windows.
DWORD posix_dirs::up(dir_handle dir, dir_handle &parent, dir_id &id)
{
    struct stat st;
    if (!root_known_ && stat(root_, &st) == 0) {
        root_id_ = id_of(st);
        root_known_ = true;
    }
    if (fstat(dir, &st) != 0)
        return code_from_errno(errno, false);
    const bool root = root_known_ && root_id_ == id_of(st);
    return opened(openat(dir, root ? "." : "..", DIR_FLAGS), parent, id);
}

void posix_dirs::close(dir_handle dir) { ::close(dir); }

DWORD posix_dirs::list(dir_handle dir, short_source &how)
{
    end_list();
    listed_ = list_of(dir);
    if (!listed_)
        return code_from_errno(errno, false);
    const volume v = volume_of(dirfd(listed_));
    how = v == volume::other   ? short_source::wine
          : v == volume::exfat ? short_source::none
                               : short_source::kept;
    listed_dir_ = dir;
    fat_ = v == volume::fat;
    next_at_ = 0;
    return 0;
}

// The names as getdents gives them, as ls -f reads them. On FAT each entry
// comes with where it starts, for the ioctl that gives its 8.3 name with
// its long name, asked for the one entry wanted (kept_name).
DWORD posix_dirs::next(dir_entry &e)
{
    e = {};
    while (listed_) {
        errno = 0;
        const dirent *d = readdir(listed_);
        const int64_t at = next_at_;
        const char *name = nullptr;
        if (d) {
            next_at_ = d->d_off;
            name = fat_ && !entry_name_ok(d->d_name) ? odd_fat_name(at, d->d_name) : d->d_name;
        } else if (fat_ && errno == EIO) {
            name = past_unlistable(); // a long name getdents refuses
            if (!name && errno)
                break;
        } else {
            break;
        }
        if (!name || !one_name(name))
            continue;
        e.name = name;
        e.at = fat_ ? at : -1;
        return 0;
    }
    const int err = errno;
    end_list();
    return err ? code_from_errno(err, false) : 0;
}

// A FAT entry listed as "." or "..", or by a name that holds "/", is the
// folder's own "." or "..", or one whose long name a damaged or crafted
// volume made so: that one is listed by its 8.3 name, which vfat always
// finds, and one with neither name usable is left out (nullptr).
const char *posix_dirs::odd_fat_name(int64_t at, const char *listed)
{
#ifdef __linux__
    fat_pair pair;
    if (!fat_entry_at(listed_dir_, at, pair) || (!pair[1].d_name[0] && one_name(listed)))
        return listed;
    return by_short_name(pair, odd_name_);
#else
    (void)at;
    return listed;
#endif
}

// getdents stops with EIO at an entry whose name holds "/" or is empty,
// and never goes past it; the ioctl reads it. Its 8.3 name stands for it
// (nullptr where that is no name either), and the listing goes on after
// it. nullptr with errno set where the ioctl fails too.
const char *posix_dirs::past_unlistable()
{
#ifdef __linux__
    fat_pair pair;
    errno = 0;
    if (!fat_entry_at(listed_dir_, next_at_, pair)) {
        errno = errno ? errno : EIO;
        return nullptr;
    }
    const off_t after = lseek(listed_dir_, 0, SEEK_CUR);
    if (after <= next_at_) {
        errno = EIO;
        return nullptr;
    }
    seekdir(listed_, after);
    next_at_ = after;
    errno = 0;
    return by_short_name(pair, odd_name_);
#else
    return nullptr;
#endif
}

// inotify names the entries made, removed or renamed in the directory, as
// they change: those of a read are the events queued from before it until
// after it.
bool posix_dirs::watch(dir_handle dir)
{
#ifdef __linux__
    constexpr uint32_t ENTRIES = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    char path[32];
    if (notify_ < 0)
        notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0)
        return false;
    if (watched_ >= 0)
        inotify_rm_watch(notify_, watched_);
    snprintf(path, sizeof path, "/proc/self/fd/%d", dir);
    watched_ = inotify_add_watch(notify_, path, ENTRIES);
    return watched_ >= 0;
#else
    (void)dir;
    return false;
#endif
}

bool posix_dirs::changed(const name_test &test)
{
#ifdef __linux__
    alignas(struct inotify_event) char events[4096];
    bool matters = watched_ < 0;
    // A folder that changes faster than this reads its events has changed
    // too much to tell.
    for (int reads = 0; reads < 256; reads++) {
        const ssize_t got = read(notify_, events, sizeof events);
        if (got <= 0)
            return matters || got == 0 || errno != EAGAIN;
        for (ssize_t at = 0; at < got;) {
            const auto *e = reinterpret_cast<const struct inotify_event *>(events + at);
            // An overflowed queue, or a watch the directory's removal ended, lost count.
            if (e->mask & (IN_Q_OVERFLOW | IN_IGNORED))
                matters = matters || e->wd == watched_ || e->mask & IN_Q_OVERFLOW;
            else if (e->wd == watched_)
                matters = matters || e->len == 0 || test.matters(e->name);
            at += static_cast<ssize_t>(sizeof *e + e->len);
        }
    }
    return true;
#else
    (void)test;
    return true;
#endif
}

// No wait: a stamp that cannot show a change yet is not settled, and the
// listing then reads the folder again.
DWORD posix_dirs::stamp(dir_handle dir, dir_stamp &s)
{
    struct timespec now = {0, 0};
    struct stat st;
#ifdef CLOCK_REALTIME_COARSE
    clock_gettime(CLOCK_REALTIME_COARSE, &now); // the clock files are stamped by
#else
    clock_gettime(CLOCK_REALTIME, &now);
#endif
    if (fstat(dir, &st) != 0)
        return code_from_errno(errno, false);
    s.mtime = nanoseconds(st.st_mtim);
    s.ctime = nanoseconds(st.st_ctim);
    s.settled = settled(dir, s, nanoseconds(now));
    return 0;
}

// A folder changed within the clock's last tick (a file just made beside
// the one asked about) settles when the tick passes: a few milliseconds.
// Times in whole seconds, or ahead of the clock, would take seconds.
bool posix_dirs::settle(dir_handle dir, const dir_stamp &s)
{
    constexpr int64_t MOST = SECOND / 50; // 20 ms
    struct timespec now = {0, 0}, tick = {0, 0};
#ifdef CLOCK_REALTIME_COARSE
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    clock_getres(CLOCK_REALTIME_COARSE, &tick);
#else
    clock_gettime(CLOCK_REALTIME, &now);
    clock_getres(CLOCK_REALTIME, &tick);
#endif
    const int64_t wait = s.newest() - nanoseconds(now) + nanoseconds(tick);
    if (!s.fine() || wait > MOST || settled(dir, s, nanoseconds(now)))
        return false;
    const struct timespec pause = {0, static_cast<long>(wait > 0 ? wait : 0)};
    nanosleep(&pause, nullptr);
    return true;
}

DWORD posix_dirs::check(dir_handle dir, const char *name)
{
    struct stat st;
    return fstatat(dir, name, &st, 0) == 0 ? 0 : code_from_errno(errno, true);
}

DWORD posix_dirs::lookup(dir_handle dir, const char *name)
{
    struct stat st;
    return fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : code_from_errno(errno, true);
}

// vfat and exFAT ignore case and vfat finds 8.3 names; ntfs-3g finds DOS
// names; a case-folding folder (ext4 and f2fs with chattr +F, tmpfs with
// casefold) folds by Unicode's rules, where U+212A KELVIN SIGN is "k",
// which Windows' table leaves alone.
bool posix_dirs::exact_lookup(dir_handle dir)
{
    if (volume_of(dir) != volume::other)
        return false;
#ifdef __linux__
    constexpr int CASEFOLD = 0x40000000; // FS_CASEFOLD_FL, from Linux 5.4
    int flags = 0;
    if (ioctl(dir, FS_IOC_GETFLAGS, &flags) == 0 && (flags & CASEFOLD))
        return false;
#endif
    return true;
}

// The listing is let go before it is closed, so that nothing reaches it twice.
void posix_dirs::end_list()
{
    if (DIR *d = std::exchange(listed_, nullptr))
        closedir(d);
}

// A FAT entry's 8.3 name comes with its long name from one ioctl, at where
// the listing had the entry start. The two are one moment's; the long name
// ties them to the entry listed. One cut at 255 bytes is read whole just
// before and just after, so that an entry that took its place between
// the reads (the same 255 bytes first) is never taken for it.
DWORD posix_dirs::fat_kept(dir_handle dir, const dir_entry &e, volume_name &kept)
{
#ifdef __linux__
    fat_pair pair;
    const bool cut = strlen(e.name) >= FAT_CUT;
    if (cut && !fat_name_at(dir, e.at, e.name))
        return ERROR_RETRY;
    if (!fat_entry_at(dir, e.at, pair))
        return ERROR_RETRY;
    const char *longname = pair[1].d_name;
    const bool same = !longname[0] || !entry_name_ok(longname) ? strcmp(pair[0].d_name, e.name) == 0
                      : cut ? strncmp(longname, e.name, FAT_CUT) == 0 && fat_name_at(dir, e.at, e.name)
                            : strcmp(longname, e.name) == 0;
    if (!same)
        return ERROR_RETRY;
    kept.assign(std::string_view(pair[0].d_name, strnlen(pair[0].d_name, volume_name::capacity())));
#else
    (void)dir, (void)e;
#endif
    return 0;
}

// ntfs-3g keeps an entry's DOS name as an attribute, read through the
// entry's directory: /proc/self/fd/N/NAME. `entry` gets what the name is.
DWORD posix_dirs::dos_name(dir_handle dir, const char *name, volume_name &kept, struct stat &entry)
{
    kept.clear();
#ifdef __linux__
    char path[32 + 1024], dos[volume_name::capacity() - 1];
    struct stat here;
    if (snprintf(path, sizeof path, "/proc/self/fd/%d/%s", dir, name) >= static_cast<int>(sizeof path))
        return 0;
    // A folder mounted over the entry hides the one it covers, and with it
    // its DOS name: through the mount, the attribute is the mounted root's.
    if (fstat(dir, &here) != 0 || fstatat(dir, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return code_from_errno(errno, true);
    if (here.st_dev != entry.st_dev)
        return 0;
    const ssize_t n = lgetxattr(path, "system.ntfs_dos_name", dos, sizeof dos);
    const int err = errno;
    if (n > 0)
        kept.assign(std::string_view(dos, static_cast<size_t>(n)));
    // None kept (ENODATA), longer than any 8.3 name (ERANGE), one that
    // cannot be read (EMLINK: a DOS-named file with a second hard link, as
    // Windows makes them), not NTFS, or no /proc to reach the entry
    // through: then its long name stands.
    else if (err != ENODATA && err != ERANGE && err != EMLINK && err != ENOTSUP && err != EOPNOTSUPP &&
             (err != ENOENT || access("/proc/self/fd", F_OK) == 0))
        return code_from_errno(err, true);
#else
    (void)dir, (void)name, (void)entry;
#endif
    return 0;
}

// ntfs-3g gives a DOS name in upper case, as Windows writes them, but finds
// an entry by it only as it is kept, and so does Wine through it: one given
// in another case (setfattr takes "lower~1.txt") names nothing so, and the
// long name stands.
DWORD posix_dirs::kept_name(dir_handle dir, const dir_entry &e, volume_name &kept)
{
    struct stat entry, by_dos;
    if (e.at >= 0)
        return fat_kept(dir, e, kept);
    if (DWORD err = dos_name(dir, e.name, kept, entry))
        return err;
    if (kept.empty())
        return 0;
    if (fstatat(dir, kept.c_str(), &by_dos, AT_SYMLINK_NOFOLLOW) != 0) {
        kept.clear();
        return errno == ENOENT ? 0 : code_from_errno(errno, true);
    }
    if (by_dos.st_dev != entry.st_dev || by_dos.st_ino != entry.st_ino)
        kept.clear();
    return 0;
}

bool posix_dirs::kept_in_any_case(dir_handle dir) { return volume_of(dir) != volume::ntfs_3g; }

// vfat finds an entry by its 8.3 name ignoring ASCII case, and opens it by
// it: a name of ASCII letters is looked up as typed, and as the listing
// found no long name that it is, the entry found has it as its 8.3 name.
// ntfs-3g finds one by its DOS name only as it keeps it: as typed, else in
// upper case, as Windows writes them. Neither needs the folder read again.
DWORD posix_dirs::find_kept(dir_handle dir, std::string_view name, entry_name &found, volume_name &kept)
{
    struct stat st;
    found.clear();
    kept.clear();
    const bool fat = volume_of(dir) == volume::fat;
    if (fat && !ascii(name))
        return fat_find_kept(dir, name, found, kept);
    for (int upper = 0; upper < (fat ? 1 : 2); upper++) {
        if (!upper)
            found.assign(name);
        else if (!upcase_name(name, found) || found.view() == name)
            break;
        if (fstatat(dir, found.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return code_from_errno(errno, true);
            continue;
        }
        volume_name dos; // none asked of FAT: vfat found it by its 8.3 name
        if (DWORD err = fat ? 0 : dos_name(dir, found.c_str(), dos, st))
            return err;
        // A DOS name that cannot be read (a second hard link) still finds
        // the entry, by that very name.
        if (dos.empty() || same_name(dos.view(), name)) {
            kept.assign(found.view());
            return 0;
        }
    }
    found.clear();
    return 0;
}

// vfat's own lookup ignores ASCII case only (and reads UTF-8 as if it were
// Latin-1 where it ignores more): a name beyond ASCII is compared with the
// 8.3 name of each entry, as the driver's ioctl gives them. The entry is
// opened by its long name where that is whole, else by its 8.3 name.
DWORD posix_dirs::fat_find_kept(dir_handle dir, std::string_view name, entry_name &found, volume_name &kept)
{
    found.clear();
#ifdef __linux__
    fat_pair pair;
    if (lseek(dir, 0, SEEK_SET) != 0)
        return code_from_errno(errno, false);
    while (true) {
        memset(pair, 0, sizeof pair);
        const int got = ioctl(dir, VFAT_IOCTL_READDIR_BOTH, pair);
        if (got < 0)
            return code_from_errno(errno, false);
        if (got == 0)
            return 0;
        pair[0].d_name[FAT_CUT] = pair[1].d_name[FAT_CUT] = '\0';
        const char *shortname = pair[0].d_name, *longname = pair[1].d_name;
        if (!entry_name_ok(shortname) || !same_name(shortname, name))
            continue;
        const bool whole = entry_name_ok(longname) && strlen(longname) < FAT_CUT;
        if (!found.assign(whole ? longname : shortname) || !kept.assign(shortname))
            found.clear();
        return 0;
    }
#else
    (void)dir, (void)name;
    return 0;
#endif
}

// A component of the working directory that Windows text cannot carry
// ("y." would be read as "y", "x\\" + "\\notes.txt" as "x\\notes.txt") is
// given as its short name, so that every line names the folder it came
// from. Only such a component's folder is read.
bool process_dir::get(std::string_view &dir, DWORD &error)
{
    if (got_) {
        dir = path_;
        return true;
    }
    if (!getcwd(real_, sizeof real_)) {
        // A working directory longer than the buffer is longer than any result.
        error = errno == ERANGE ? ERROR_FILENAME_EXCED_RANGE : code_from_errno(errno, false);
        return false;
    }
    path_[0] = DRIVE;
    path_[1] = ':';
    bool carried = true;
    size_t n = 0, start = 0;
    for (; real_[n]; n++) {
        path_[n + 2] = real_[n] == '/' ? '\\' : real_[n];
        if (real_[n + 1] == '/' || real_[n + 1] == '\0')
            carried = carried && (real_[n] == '/' || windows_can_hold({real_ + start + 1, n - start}));
        start = real_[n] == '/' ? n : start;
    }
    path_[n + 2] = '\0';
    if (!carried) {
        posix_dirs dirs(DRIVE, "/");
        const path_result r = dir_text(real_, DRIVE, dirs, path_ + 2, sizeof path_ - 2);
        error = r.value == 0 ? r.error : ERROR_FILENAME_EXCED_RANGE;
        if (r.value == 0 || r.value >= sizeof path_ - 2)
            return false;
    }
    got_ = true;
    dir = path_;
    return true;
}

} // namespace winpath
