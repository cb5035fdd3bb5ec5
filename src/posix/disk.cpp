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

namespace winpath {
namespace {

constexpr int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The handle `fd` and what it is; a Windows error code when it is no handle.
DWORD opened(int fd, bool last, dir_handle &dir, dir_id &id)
{
    struct stat st;
    if (fd < 0)
        return code_from_errno(errno, last);
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return code_from_errno(err, last);
    }
    dir = fd;
    id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return 0;
}

} // namespace

DWORD posix_dirs::start(char drive, dir_handle &dir, dir_id &id)
{
    if (drive == 0)
        return opened(openat(AT_FDCWD, cwd_ ? cwd_ : ".", DIR_FLAGS), false, dir, id);
    if (upper(drive) != upper(drive_))
        return ERROR_PATH_NOT_FOUND;
    if (DWORD err = opened(openat(AT_FDCWD, root_, DIR_FLAGS), false, dir, id))
        return err;
    root_id_ = id;
    root_known_ = true;
    return 0;
}

DWORD posix_dirs::open(dir_handle parent, const char *name, dir_handle &dir, dir_id &id)
{
    return opened(openat(parent, name, DIR_FLAGS), false, dir, id);
}

// ".." of the drive's root is the root itself, as on Windows.
DWORD posix_dirs::up(dir_handle dir, dir_handle &parent, dir_id &id)
{
    struct stat st;
    if (!root_known_ && stat(root_, &st) == 0) {
        root_id_ = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
        root_known_ = true;
    }
    if (fstat(dir, &st) != 0)
        return code_from_errno(errno, false);
    const bool root =
        root_known_ && root_id_ == dir_id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return opened(openat(dir, root ? "." : "..", DIR_FLAGS), false, parent, id);
}

void posix_dirs::close(dir_handle dir) { ::close(dir); }

DWORD posix_dirs::list(dir_handle dir, short_source &how)
{
    end_list();
    how = short_source::made;
    // fdopendir takes the handle it is given: it gets one of its own.
    const int fd = openat(dir, ".", DIR_FLAGS);
    if (fd < 0)
        return code_from_errno(errno, false);
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
