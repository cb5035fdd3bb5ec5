// Entry of the program: option letters, the joined name and the usage text.
#include "tarsel.h"

#include <cstdio>
#include <cstring>

#include "pathname.h"

namespace {

// The letter d is accepted but not listed.
constexpr char USAGE[] = "TARSEL.EXE Version 1.01  prints the full path of a file name, or parts of it\n"
                         "Usage : TARSEL -[pfe\\/cs] filename\n"
                         "Options\n"
                         "    p : path name.\n"
                         "    f : main part of file name.\n"
                         "    e : extension of file name.\n"
                         "    \\ : set directory separator to '\\'(default).\n"
                         "    / : set directory separator to '/'.\n"
                         "    c : cygnus.\n"
                         "    s : display short path name.\n";

bool apply_letter(char letter, opts &o)
{
    switch (letter) {
    case 'p': o.parts |= PART_PATH; return true;
    case 'f': o.parts |= PART_MAIN; return true;
    case 'e': o.parts |= PART_EXT; return true;
    case '\\': o.sepmode = SEP_BACKSLASH; return true;
    case '/': o.sepmode = SEP_SLASH; return true;
    case 'c': o.sepmode = SEP_CYGNUS; return true;
    case 's': o.shortform = 1; return true;
    case 'd': return true;
    default: return false;
    }
}

// The remaining arguments joined by single spaces, cut at NAME_MAX_CHARS bytes.
void join_name(int first, int argc, char *const *argv, opts &o)
{
    size_t len = 0;
    for (int i = first; i < argc && len < NAME_MAX_CHARS; i++) {
        if (i > first)
            o.name[len++] = ' ';
        for (const char *p = argv[i]; *p && len < NAME_MAX_CHARS; p++)
            o.name[len++] = *p;
    }
    o.name[len] = '\0';
}

} // namespace

void usage() { fputs(USAGE, stderr); }

bool read_command_line(int argc, char *const *argv, opts &o)
{
    if (argc <= 1)
        return false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++)
        for (const char *p = argv[i] + 1; *p; p++)
            if (!apply_letter(*p, o))
                return false;
    join_name(i, argc, argv, o);
    if (o.parts == 0)
        o.parts = PART_PATH | PART_MAIN | PART_EXT;
    return true;
}

int tarsel(int argc, char *const *argv)
{
    opts o;
    if (!read_command_line(argc, argv, o)) {
        usage();
        return -1;
    }
    return print_path(&o);
}
