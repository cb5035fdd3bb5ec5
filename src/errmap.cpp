#include "errmap.h"

#include <cerrno>

DWORD code_from_errno(int err, bool last_component)
{
    struct mapping {
        int err;
        DWORD code;
    };
    static constexpr mapping MAP[] = {
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
        {EIO, ERROR_IO_DEVICE},
        {ENOSPC, ERROR_DISK_FULL},
        {EPIPE, ERROR_BROKEN_PIPE},
        {EBADF, ERROR_INVALID_HANDLE},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EROFS, ERROR_WRITE_PROTECT},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {EFBIG, ERROR_FILE_TOO_LARGE},
#ifdef EDQUOT // not in the Windows C runtime's errno.h
        {EDQUOT, ERROR_NOT_ENOUGH_QUOTA},
#endif
    };
    if (err == ENOENT)
        return last_component ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    for (const mapping &m : MAP)
        if (m.err == err)
            return m.code;
    return ERROR_GEN_FAILURE;
}
