// The real disk, reached by handle: each directory opened through its
// parent by the real name of its entry there, as find and fts walk. No
// POSIX path is ever made from Windows text: a POSIX name may hold a "\",
// and a real path may be longer than the kernel takes whole.
#include "disk.h"

#include <cerrno>
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

volume volume_of(int fd)
{
#ifdef __linux__
    constexpr long FAT_MAGIC = 0x4d44, EXFAT_MAGIC = 0x2011BAB0, FUSE_MAGIC = 0x65735546;
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
    if (const dirent *d = readdir(listed_)) {
        e.name = d->d_name;
        return 0;
    }
    const int err = errno;
    end_list();
    return err ? code_from_errno(err, false) : 0;
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
// empty where the 8.3 entry is all there is.
DWORD posix_dirs::next_fat(dir_entry &e)
{
#ifdef __linux__
    static_assert(sizeof fat_entries_ == sizeof(__fat_dirent[2]));
    const int got = ioctl(fat_, VFAT_IOCTL_READDIR_BOTH, fat_entries_);
    if (got <= 0) {
        const int err = errno;
        end_list();
        return got < 0 ? code_from_errno(err, false) : 0;
    }
    fat_entries_[0].name[255] = fat_entries_[1].name[255] = '\0';
    e.kept = fat_entries_[0].name;
    e.name = fat_entries_[1].name[0] ? fat_entries_[1].name : fat_entries_[0].name;
#else
    (void)e;
    end_list();
#endif
    return 0;
}

// ntfs-3g keeps an entry's DOS name as an attribute. The entry is reached
// through its directory's handle: /proc/self/fd/N/NAME.
DWORD posix_dirs::kept_name(dir_handle dir, const char *name, short_name &kept)
{
    kept.clear();
#ifdef __linux__
    char path[32 + 1024], dos[12];
    if (snprintf(path, sizeof path, "/proc/self/fd/%d/%s", dir, name) >= static_cast<int>(sizeof path))
        return 0;
    const ssize_t n = lgetxattr(path, "system.ntfs_dos_name", dos, sizeof dos);
    const int err = errno;
    if (n > 0)
        kept.assign(std::string_view(dos, static_cast<size_t>(n)));
    // None kept (ENODATA), longer than any 8.3 name (ERANGE), not NTFS, or
    // no /proc to reach the entry through (then its long name stands).
    else if (err != ENODATA && err != ERANGE && err != ENOTSUP && err != EOPNOTSUPP &&
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
    short_name kept;
    found.clear();
    for (char c : name)
        found.append(upper(c));
    if (fstatat(dir, found.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        found.clear();
        return errno == ENOENT ? 0 : code_from_errno(errno, true);
    }
    if (DWORD err = kept_name(dir, found.c_str(), kept))
        return err;
    if (kept.view() != found.view())
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
