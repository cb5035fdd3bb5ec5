// The real disk, reached by handle: each directory opened through its
// parent by the real name of its entry there, as find and fts walk. No
// POSIX path is ever made from Windows text: a POSIX name may hold a "\",
// and a real path may be longer than the kernel takes whole.
#include "disk.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "errmap.h"
#include "pathtext.h"

#ifdef __linux__
#include <cstdio>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

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

// How the volume that holds a directory's entries names them in 8.3 form.
// Linux tells FAT (its vfat driver reads the 8.3 names on disk), exFAT
// (none) and NTFS through ntfs-3g (DOS names as extended attributes, on
// every file); every other file system, and Linux's ntfs3 driver, which
// gives no way to read them, gets names made by the model.
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

// How a directory stamped `s` at `now` may still change without its times
// showing it: not at all (settled); within the one tick of the coarse clock
// the kernel stamps them with; or, where the times are coarser (FAT's two
// seconds, and any in whole seconds: qemu-user gives some machines no
// nanoseconds), for two seconds, which only waiting can rule out.
enum class grain : unsigned char { settled, tick, coarse };
constexpr int64_t COARSE_GRAIN = 2 * SECOND;

grain grain_of(int fd, const dir_stamp &s, int64_t now)
{
    if (s.newest() < now - COARSE_GRAIN)
        return grain::settled;
    if (s.mtime % SECOND == 0 && s.ctime % SECOND == 0)
        return grain::coarse;
#ifdef __linux__
    struct statfs st;
    if (fstatfs(fd, &st) == 0 && st.f_type == FAT_MAGIC)
        return grain::coarse;
#else
    (void)fd;
#endif
    return s.newest() >= now ? grain::tick : grain::settled;
}

} // namespace

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
    return opened(openat(parent, name, DIR_FLAGS), dir, id);
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
    // fdopendir takes the handle it is given: it gets one of its own.
    const int fd = openat(dir, ".", DIR_FLAGS);
    if (fd < 0)
        return code_from_errno(errno, false);
    const volume v = volume_of(fd);
    how = v == volume::other   ? short_source::made
          : v == volume::exfat ? short_source::none
                               : short_source::kept;
    if (v == volume::fat) {
        fat_ = fd;
        return 0;
    }
    listed_ = fdopendir(fd);
    if (!listed_) {
        const int err = errno;
        ::close(fd);
        return code_from_errno(err, false);
    }
    return 0;
}

DWORD posix_dirs::next(dir_entry &e)
{
    e = {};
    if (fat_ >= 0)
        return next_fat(e);
    if (!listed_)
        return 0;
    errno = 0;
    while (const dirent *d = readdir(listed_)) {
        if (!one_name(d->d_name))
            continue;
        e.name = d->d_name;
        return 0;
    }
    const int err = errno;
    end_list();
    return err ? code_from_errno(err, false) : 0;
}

// A directory whose times are coarser than the clock's tick, changed in the
// last two seconds, is waited for once, until those times would show a
// change (a folder on a stick just written to).
DWORD posix_dirs::stamp(dir_handle dir, dir_stamp &s)
{
    for (bool waited = false;; waited = true) {
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
        const grain g = grain_of(dir, s, nanoseconds(now));
        s.settled = g == grain::settled;
        if (g != grain::coarse || waited)
            return 0;
        // Never longer than the grain: a damaged volume may hold any time.
        constexpr int64_t LONGEST = COARSE_GRAIN + SECOND / 100;
        int64_t wait = s.newest() + LONGEST - nanoseconds(now);
        wait = wait < LONGEST ? wait : LONGEST;
        const struct timespec pause = {static_cast<time_t>(wait / SECOND), static_cast<long>(wait % SECOND)};
        nanosleep(&pause, nullptr);
    }
}

DWORD posix_dirs::check(dir_handle dir, const char *name)
{
    struct stat st;
    return fstatat(dir, name, &st, 0) == 0 ? 0 : code_from_errno(errno, true);
}

// The listing is let go before it is closed, so that nothing reaches it twice.
void posix_dirs::end_list()
{
    if (DIR *d = std::exchange(listed_, nullptr))
        closedir(d);
    if (const int fd = std::exchange(fat_, -1); fd >= 0)
        ::close(fd);
}

// One entry of a FAT directory a call: [0] its 8.3 name, [1] its long name,
// empty where the 8.3 entry is all there is. The ioctl cuts long names to
// 255 bytes (FAT holds 255 UTF-16 units, up to 765 bytes of UTF-8): such a
// name is read whole from the same position by getdents. An entry whose
// long name is no real entry name is listed by its 8.3 name, which vfat
// always finds; one with neither is left out.
DWORD posix_dirs::next_fat(dir_entry &e)
{
#ifdef __linux__
    static_assert(sizeof fat_entries_ == sizeof(__fat_dirent[2]));
    constexpr size_t CUT = sizeof fat_entries_[1].name - 1;
    while (true) {
        // The kernel leaves the inode and offset of an entry without a long
        // name unwritten, and valgrind's model of the call marks less.
        memset(fat_entries_, 0, sizeof fat_entries_);
        const off_t at = lseek(fat_, 0, SEEK_CUR);
        const int got = at < 0 ? -1 : ioctl(fat_, VFAT_IOCTL_READDIR_BOTH, fat_entries_);
        if (got <= 0) {
            const int err = errno;
            end_list();
            return got < 0 ? code_from_errno(err, false) : 0;
        }
        fat_entries_[0].name[CUT] = fat_entries_[1].name[CUT] = '\0';
        const char *longname = fat_entries_[1].name;
        if (strlen(longname) == CUT)
            longname = whole_name(at, longname);
        e.kept = fat_entries_[0].name;
        e.name = entry_name_ok(longname) ? longname : e.kept;
        if (one_name(e.name))
            return 0;
    }
#else
    (void)e;
    end_list();
    return 0;
#endif
}

// The whole long name of the FAT entry at position `at`, of which the
// ioctl gave the first bytes `cut`; "" where getdents does not give it.
const char *posix_dirs::whole_name(off_t at, const char *cut)
{
#ifdef __linux__
    constexpr size_t ROOM = sizeof whole_ - offsetof(struct dirent64, d_name);
    const off_t next = lseek(fat_, 0, SEEK_CUR);
    ssize_t got = -1;
    if (next >= 0 && lseek(fat_, at, SEEK_SET) == at)
        got = getdents64(fat_, whole_, sizeof whole_);
    if (next < 0 || lseek(fat_, next, SEEK_SET) != next || got <= 0)
        return "";
    const auto *d = reinterpret_cast<const struct dirent64 *>(whole_);
    if (strnlen(d->d_name, ROOM) == ROOM || strncmp(d->d_name, cut, strlen(cut)) != 0)
        return "";
    return d->d_name;
#else
    (void)at, (void)cut;
    return "";
#endif
}

// ntfs-3g keeps an entry's DOS name as an attribute. The entry is reached
// through its directory's handle: /proc/self/fd/N/NAME.
DWORD posix_dirs::kept_name(dir_handle dir, const char *name, volume_name &kept)
{
    kept.clear();
#ifdef __linux__
    char path[32 + 1024], dos[volume_name::capacity() - 1];
    struct stat here, entry;
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
    (void)dir, (void)name;
#endif
    return 0;
}

// ntfs-3g finds an entry by its DOS name written exactly, in upper case.
DWORD posix_dirs::find_kept(dir_handle dir, std::string_view name, entry_name &found)
{
    struct stat st;
    volume_name kept;
    found.clear();
    for (char c : name)
        found.append(upper(c));
    if (fstatat(dir, found.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        found.clear();
        return errno == ENOENT ? 0 : code_from_errno(errno, true);
    }
    if (DWORD err = kept_name(dir, found.c_str(), kept))
        return err;
    // A DOS name that cannot be read (a second hard link) still finds it.
    if (!kept.empty() && kept.view() != found.view())
        found.clear();
    return 0;
}

bool process_dir::get(std::string_view &dir, DWORD &error)
{
    if (!getcwd(real_, sizeof real_)) {
        // A working directory longer than the buffer is longer than any result.
        error = errno == ERANGE ? ERROR_FILENAME_EXCED_RANGE : code_from_errno(errno, false);
        return false;
    }
    path_[0] = DRIVE;
    path_[1] = ':';
    size_t n = 0;
    for (; real_[n]; n++)
        path_[n + 2] = real_[n] == '/' ? '\\' : real_[n];
    path_[n + 2] = '\0';
    dir = path_;
    return true;
}

} // namespace winpath
