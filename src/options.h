// The option record shared by the command line and the path step.
#pragma once

enum : unsigned char {
    PART_PATH = 1, // drive and directory
    PART_MAIN = 2, // main part of the file name
    PART_EXT = 4,  // extension
};

enum : unsigned char {
    SEP_BACKSLASH = 0,
    SEP_SLASH = 1,
    SEP_CYGNUS = 2, // slashes, and the drive written as //C
};

// Size of the name buffer, of the full-path buffer and of every platform path call.
constexpr int PATH_BUFSIZE = 1024;
constexpr int NAME_MAX_CHARS = PATH_BUFSIZE - 1;

struct opts {
    unsigned parts = 0;
    int sepmode = SEP_BACKSLASH;
    int shortform = 0;
    char name[PATH_BUFSIZE] = "";
};
