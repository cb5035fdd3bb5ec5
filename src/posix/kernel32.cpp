// The kernel32 path calls on POSIX: the process's view of the machine
// (root "/" is drive Z:, the working directory is Z:'s current directory)
// handed to the rules in fullpath.cpp and shortpath.cpp.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "errmap.h"
#include "pathtext.h"
#include "winpath.h"

namespace winpath {

DWORD posix_dirs::open(std::string_view dir)
{
    close();
    if (!to_posix(dir))
        return ERROR_PATH_NOT_FOUND;
    dir_ = opendir(path_.c_str());
    return dir_ ? 0 : code_from_errno(errno, false);
}

const char *posix_dirs::next()
{
    const dirent *e = dir_ ? readdir(dir_) : nullptr;
    return e ? e->d_name : nullptr;
}

DWORD posix_dirs::check(std::string_view path)
{
    struct stat st;
    if (!to_posix(path))
        return ERROR_PATH_NOT_FOUND;
    return stat(path_.c_str(), &st) == 0 ? 0 : code_from_errno(errno, true);
}

bool posix_dirs::to_posix(std::string_view path)
{
    if (path.size() < 3 || upper(path[0]) != upper(drive_) || path[1] != ':')
        return false;
    if (!path_.assign(root_) || !path_.append(sub(path, 2)))
        return false;
    for (char *c = path_.data() + root_.size(); *c; c++)
        if (*c == '\\')
            *c = '/';
    return true;
}

// The handle is let go before it is closed, so no path reaches it twice.
void posix_dirs::close()
{
    if (DIR *d = std::exchange(dir_, nullptr))
        closedir(d);
}

namespace {

constexpr char DRIVE = 'Z';

// Z: and the process's working directory, read on first need.
class process_dir : public current_dir {
  public:
    process_dir() : current_dir({}) {}
    char drive() const override { return DRIVE; }
    bool get(std::string_view &dir, DWORD &error) override
    {
        if (!getcwd(path_ + 2, sizeof path_ - 2)) {
            // A working directory longer than the buffer is longer than any result.
            error = errno == ERANGE ? ERROR_FILENAME_EXCED_RANGE : code_from_errno(errno, false);
            return false;
        }
        path_[0] = DRIVE;
        path_[1] = ':';
        for (char *p = path_ + 2; *p; p++)
            if (*p == '/')
                *p = '\\';
        dir = path_;
        return true;
    }

  private:
    char path_[MAX_CHARS + 3];
};

DWORD finish(path_result r)
{
    if (r.value == 0)
        SetLastError(r.error);
    return r.value;
}

} // namespace
} // namespace winpath

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filepart)
{
    winpath::process_dir cwd;
    return winpath::finish(winpath::full_path(name, cwd, buffer, size, filepart));
}

DWORD GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size)
{
    winpath::process_dir cwd;
    winpath::posix_dirs dirs(winpath::DRIVE, "");
    return winpath::finish(winpath::short_path(path, cwd, dirs, buffer, size));
}
