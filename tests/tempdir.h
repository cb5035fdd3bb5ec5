// Folders for the files a test makes.
#pragma once

#include <cstdlib>
#include <string>
#include <sys/stat.h>

// A new folder "PARENT/STEMxxxxxx" that every user may enter, or "" when it
// cannot be made. PARENT is $TMPDIR unless given, and /tmp without either.
inline std::string temp_dir(const char *stem, const char *parent = nullptr)
{
    const char *base = parent ? parent : getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/" + stem + "XXXXXX";
    return mkdtemp(path.data()) && chmod(path.c_str(), 0755) == 0 ? path : "";
}

// Removes a folder that temp_dir made, with all it holds; false on failure.
inline bool remove_tree(const std::string &dir) { return std::system(("rm -rf '" + dir + "'").c_str()) == 0; }
