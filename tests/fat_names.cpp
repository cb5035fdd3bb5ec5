// Lists a FAT folder tree as the volume holds it, through the vfat driver's
// own VFAT_IOCTL_READDIR_BOTH: for each entry, its path by long names and
// its path by the 8.3 names on disk ("\" between components, from the
// folder given). A component whose 8.3 name is its long name but for case
// is given as its long name, as a short path copies it.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool same_ignoring_case(const char *a, const char *b) { return strcasecmp(a, b) == 0; }

int list(int dir, const std::string &longs, const std::string &shorts)
{
    __fat_dirent e[2];
    int status = 0;
    while (true) {
        const int got = ioctl(dir, VFAT_IOCTL_READDIR_BOTH, e);
        if (got < 0) {
            perror("VFAT_IOCTL_READDIR_BOTH");
            return 1;
        }
        if (got == 0)
            return status;
        const char *name = e[1].d_name[0] ? e[1].d_name : e[0].d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            continue;
        const std::string l = longs + (longs.empty() ? "" : "\\") + name;
        const std::string s = shorts + (shorts.empty() ? "" : "\\") +
                              (same_ignoring_case(name, e[0].d_name) ? name : e[0].d_name);
        printf("%s\t%s\n", l.c_str(), s.c_str());
        const int inner = openat(dir, name, O_RDONLY | O_DIRECTORY);
        if (inner >= 0) {
            status |= list(inner, l, s);
            close(inner);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int dir = argc == 2 ? open(argv[1], O_RDONLY | O_DIRECTORY) : -1;
    if (dir < 0) {
        fprintf(stderr, "usage: fat_names FOLDER (on a vfat volume)\n");
        return 2;
    }
    return list(dir, "", "");
}
