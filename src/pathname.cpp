// The path step: resolution through the platform, the in-place split and the output line.
#include "pathname.h"

#include <cerrno>
#include <cstdio>

#include "errmap.h"
#include "syserr.h"
#include "winapi.h"

namespace {

constexpr char EMPTY[] = "";
constexpr char BACKSLASH[] = "\\";
constexpr char SLASH[] = "/";

// A failure must never end with status 0: a platform that fails without a
// code (Windows for a name of spaces, Wine for the empty name) is given one.
int report(DWORD code = 0)
{
    if (code != 0)
        SetLastError(code);
    else if (GetLastError() == 0)
        SetLastError(ERROR_INVALID_NAME);
    return display_error();
}

// What a path call's result ends the run with: 0 for a length that fit.
// A result that needs the whole buffer or more did not fit.
int checked(DWORD result)
{
    if (result == 0)
        return report();
    if (result >= static_cast<DWORD>(PATH_BUFSIZE))
        return report(ERROR_BUFFER_OVERFLOW);
    return 0;
}

// Resolves name into fullpath; 0 or the reported error code.
int resolve(const char *name, char *fullpath, char **filepart, DWORD &len)
{
    SetLastError(0);
    // length without NUL; size needed with NUL when too small; 0 + last error
    len = GetFullPathNameA(name, PATH_BUFSIZE, fullpath, filepart);
    return checked(len);
}

// Replaces o->name with the short form of its absolute path; 0 or an error code.
int to_short_form(opts *o, char *fullpath)
{
    char *filepart = nullptr;
    DWORD len = 0;
    if (int code = resolve(o->name, fullpath, &filepart, len))
        return code;
    SetLastError(0);
    // length without NUL; size needed with NUL when too small; 0 + last error
    return checked(GetShortPathNameA(fullpath, o->name, PATH_BUFSIZE));
}

struct pieces {
    const char *drive;
    const char *dir;
    const char *main;
    const char *ext;
};

// Cuts fullpath ("X:\dir\main.ext", file part at filepart) in place.
pieces split(char *fullpath, char *filepart)
{
    pieces p{fullpath, EMPTY, filepart, EMPTY};
    fullpath[1] = '\0';
    filepart[-1] = '\0';
    if (filepart != fullpath + 3)
        p.dir = fullpath + 3;
    char *dot = nullptr;
    for (char *c = filepart + 1; *c; c++)
        if (*c == '.')
            dot = c;
    if (dot) {
        *dot = '\0';
        p.ext = dot + 1;
    }
    return p;
}

// Prints the line; false, with errno from the failing call, when it did not
// reach standard output.
bool print_line(const opts *o, const pieces &p)
{
    const bool path = o->parts & PART_PATH;
    const bool mainpart = o->parts & PART_MAIN;
    const bool ext = o->parts & PART_EXT;
    const bool cygnus = o->sepmode == SEP_CYGNUS;
    const char *sep = o->sepmode == SEP_BACKSLASH ? BACKSLASH : SLASH;
    const int printed = printf("%s%s%s%s%s%s%s%s\n",
                               path ? (cygnus ? "//" : p.drive) : EMPTY,
                               path ? (cygnus ? p.drive : ":") : EMPTY,
                               path && p.dir[0] ? sep : EMPTY,
                               path ? p.dir : EMPTY,
                               path && mainpart ? sep : EMPTY,
                               mainpart ? p.main : EMPTY,
                               mainpart && ext ? "." : EMPTY,
                               ext ? p.ext : EMPTY);
    const int err = errno;
    if (fflush(stdout) == 0 && printed >= 0 && !ferror(stdout))
        return true;
    if (printed < 0)
        errno = err;
    return false;
}

} // namespace

int iskanji(int c)
{
    c &= 0xFF;
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

void bstos(char *s)
{
    int before = 0;
    for (; *s; s++) {
        const int c = static_cast<unsigned char>(*s);
        if (c == '\\' && !iskanji(before))
            *s = '/';
        before = c;
    }
}

// The split needs "X:" and a separator before the last component; anything
// else (network and device paths, a path ending in a separator) is refused,
// and so is a file part that would make the split write outside the path.
bool splittable(const char *fullpath, size_t len, const char *filepart)
{
    return filepart && fullpath[1] == ':' && filepart >= fullpath + 3 && filepart <= fullpath + len;
}

int print_path(opts *o)
{
    char fullpath[PATH_BUFSIZE];
    if (o->shortform) {
        if (int code = to_short_form(o, fullpath))
            return code;
    }
    char *filepart = nullptr;
    DWORD len = 0;
    if (int code = resolve(o->name, fullpath, &filepart, len))
        return code;
    if (!splittable(fullpath, len, filepart))
        return report(ERROR_BAD_PATHNAME);

    pieces p = split(fullpath, filepart);
    if (o->sepmode != SEP_BACKSLASH && p.dir != EMPTY)
        bstos(fullpath + 3);
    // A line that was lost must not pass for success: scripts trust the status.
    if (!print_line(o, p))
        return report(code_from_errno(errno));
    return 0;
}
