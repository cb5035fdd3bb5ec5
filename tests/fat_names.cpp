// Lists a FAT folder tree as the volume holds it, through the vfat driver's
// own VFAT_IOCTL_READDIR_BOTH: for each entry, its path by long names and
// its path by the 8.3 names on disk ("\" between components, from the
// folder given). A component whose 8.3 name is its long name but for case
// is given as its long name, as a short path copies it. An entry whose long
// name is no entry name or no line (it holds "/" or a control byte, is "."
// or "..", or is 255 bytes, where the ioctl may have cut it) is given as
// "odd" and its short path, and is not gone into.
//
// fat_names --patch IMAGE FROM TO damages a volume image as a crafted or
// broken stick would be: in every long-name slot, each UTF-16 unit FROM[i]
// becomes TO[i] (TO may hold "/", "." or control bytes).
// fat_names --patch-short IMAGE OLD NEW changes the 11 bytes of an 8.3
// name (as stored: "LINEQB~1TXT") and the checksum its long-name slots
// carry, so that the long name still belongs to it.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/msdos_fs.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

bool same_ignoring_case(const char *a, const char *b) { return strcasecmp(a, b) == 0; }

// A long name that is no entry name, or no line: one that holds "/" or a
// control byte, or of 255 bytes, where the ioctl may have cut it.
bool odd(const char *name)
{
    for (const char *c = name; *c; c++)
        if (*c == '/' || static_cast<unsigned char>(*c) < ' ')
            return true;
    return strlen(name) >= sizeof(__fat_dirent{}.d_name) - 1;
}

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
        const bool dots = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
        if (dots && !e[1].d_name[0])
            continue;
        if (dots || odd(name)) {
            printf("odd\t%s%s%s\n", shorts.c_str(), shorts.empty() ? "" : "\\", e[0].d_name);
            continue;
        }
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

// A directory record of an image: 32 bytes, an attribute of 0x0F for a
// long-name slot. Records are found at every 32-byte boundary: the images
// patched hold empty files only, so nothing else there looks like one.
constexpr size_t RECORD = 32;
bool long_slot(const unsigned char *r) { return r[11] == 0x0F && r[26] == 0 && r[27] == 0; }
unsigned char checksum(const unsigned char *name)
{
    unsigned char sum = 0;
    for (int i = 0; i < 11; i++)
        sum = static_cast<unsigned char>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    return sum;
}

int patch(const char *path, const std::string &from, const std::string &to, bool short_name)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> img((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const int UNITS[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}; // in a long-name slot
    int changed = 0;
    for (size_t at = 0; at + RECORD <= img.size(); at += RECORD) {
        unsigned char *r = &img[at];
        if (!short_name && long_slot(r)) {
            for (int u : UNITS)
                for (size_t i = 0; i < from.size(); i++)
                    if (r[u] == static_cast<unsigned char>(from[i]) && r[u + 1] == 0) {
                        r[u] = static_cast<unsigned char>(to[i]);
                        changed++;
                        break;
                    }
        } else if (short_name && !long_slot(r) && memcmp(r, from.data(), 11) == 0) {
            const unsigned char old = checksum(r);
            memcpy(r, to.data(), 11);
            for (size_t back = at;
                 back >= RECORD && long_slot(&img[back - RECORD]) && img[back - RECORD + 13] == old;
                 back -= RECORD)
                img[back - RECORD + 13] = checksum(r);
            changed++;
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(img.data()), img.size());
    return changed ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const bool patching =
        argc == 5 && (strcmp(argv[1], "--patch") == 0 || strcmp(argv[1], "--patch-short") == 0);
    if (patching && (strlen(argv[3]) != strlen(argv[4]) || (argv[1][7] && strlen(argv[3]) != 11))) {
        fprintf(stderr, "fat_names %s: FROM and TO of one length (11 for an 8.3 name)\n", argv[1]);
        return 2;
    }
    if (patching)
        return patch(argv[2], argv[3], argv[4], argv[1][7] != '\0');
    const int dir = argc == 2 ? open(argv[1], O_RDONLY | O_DIRECTORY) : -1;
    if (dir < 0) {
        fprintf(stderr, "usage: fat_names FOLDER (on a vfat volume)\n");
        return 2;
    }
    return list(dir, "", "");
}
