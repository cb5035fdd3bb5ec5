// The kernel32 path calls on POSIX: the rules of fullpath.cpp and
// shortpath.cpp given the process's view of the machine (disk.h): root "/"
// is drive Z:, and the working directory is Z:'s current directory.
#include "disk.h"
#include "winpath.h"

namespace {

DWORD finish(winpath::path_result r)
{
    if (r.value == 0)
        SetLastError(r.error);
    return r.value;
}

} // namespace

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filepart)
{
    winpath::process_dir cwd;
    return finish(winpath::full_path(name, cwd, buffer, size, filepart));
}

DWORD GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size)
{
    winpath::process_dir cwd;
    winpath::posix_dirs dirs(winpath::process_dir::DRIVE, "/");
    return finish(winpath::short_path(path, cwd, dirs, buffer, size));
}
