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
// fat_names --fill IMAGE FOLDER COUNT writes into the empty folder FOLDER
// (its 8.3 name as stored, in the root of a FAT16 image) COUNT empty files,
// "Long File Name N.txt" with the 8.3 name "LNnnnnnn.TXT", at once, where
// the vfat driver takes minutes to make 20,000.
// fat_names --swap A B SECONDS swaps the names of files A and B, through a
// third name, as fast as it can, for SECONDS.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

uint32_t read_le(const std::vector<unsigned char> &img, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | img[at + i];
    return v;
}

// One file's records: its long-name slots, last first, then its 8.3 entry.
void add_file(std::vector<unsigned char> &dir, unsigned n)
{
    static const int UNITS[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const std::string name = "Long File Name " + std::to_string(n) + ".txt";
    unsigned char entry[RECORD] = {};
    snprintf(reinterpret_cast<char *>(entry), 12, "LN%06uTXT", n % 1000000);
    entry[11] = 0x20;
    const size_t slots = (name.size() + 1 + 12) / 13;
    for (size_t slot = slots; slot-- > 0;) {
        unsigned char r[RECORD] = {};
        r[0] = static_cast<unsigned char>((slot + 1) | (slot + 1 == slots ? 0x40 : 0));
        r[11] = 0x0F;
        r[13] = checksum(entry);
        for (size_t u = 0; u < 13; u++) {
            const size_t i = slot * 13 + u;
            const unsigned unit = i < name.size()    ? static_cast<unsigned char>(name[i])
                                  : i == name.size() ? 0
                                                     : 0xFFFF;
            r[UNITS[u]] = unit & 0xFF;
            r[UNITS[u] + 1] = unit >> 8;
        }
        dir.insert(dir.end(), r, r + RECORD);
    }
    dir.insert(dir.end(), entry, entry + RECORD);
}

int fill(const char *path, const std::string &folder, unsigned count)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> img((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint32_t sector = read_le(img, 11, 2), cluster = sector * img[13], fats = img[16];
    const uint32_t fat = read_le(img, 14, 2) * sector, fat_size = read_le(img, 22, 2) * sector;
    const uint32_t root = fat + fats * fat_size, data = root + read_le(img, 17, 2) * RECORD;
    uint32_t first = 0;
    for (uint32_t at = root; at < data; at += RECORD)
        if (memcmp(&img[at], folder.data(), 11) == 0 && img[at + 11] & 0x10)
            first = read_le(img, at + 26, 2);
    if (first < 2 || fat_size == 0 || folder.size() != 11)
        return 1;
    const auto at_cluster = [&](uint32_t c) { return data + (c - 2) * cluster; };
    std::vector<unsigned char> dir(&img[at_cluster(first)], &img[at_cluster(first)] + 2 * RECORD); // . and ..
    for (unsigned n = 1; n <= count; n++)
        add_file(dir, n);
    dir.resize((dir.size() + cluster - 1) / cluster * cluster);
    std::vector<uint32_t> chain = {first};
    for (uint32_t c = 2; chain.size() < dir.size() / cluster && at_cluster(c + 1) <= img.size(); c++)
        if (c != first && read_le(img, fat + 2 * c, 2) == 0)
            chain.push_back(c);
    if (chain.size() < dir.size() / cluster)
        return 1;
    for (size_t i = 0; i < chain.size(); i++) {
        const uint32_t next = i + 1 < chain.size() ? chain[i + 1] : 0xFFFF;
        for (uint32_t f = 0; f < fats; f++) {
            img[fat + f * fat_size + 2 * chain[i]] = next & 0xFF;
            img[fat + f * fat_size + 2 * chain[i] + 1] = next >> 8;
        }
        memcpy(&img[at_cluster(chain[i])], &dir[i * cluster], cluster);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(img.data()), img.size());
    return 0;
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
    if (argc == 5 && strcmp(argv[1], "--swap") == 0) {
        const std::string a = argv[2], b = argv[3], t = a + ".swap";
        for (const time_t end = time(nullptr) + atoi(argv[4]); time(nullptr) < end;)
            if (rename(a.c_str(), t.c_str()) != 0 || rename(b.c_str(), a.c_str()) != 0 ||
                rename(t.c_str(), b.c_str()) != 0)
                return 1;
        return 0;
    }
    if (argc == 5 && strcmp(argv[1], "--fill") == 0)
        return fill(argv[2], argv[3], static_cast<unsigned>(atoi(argv[4])));
    const int dir = argc == 2 ? open(argv[1], O_RDONLY | O_DIRECTORY) : -1;
    if (dir < 0) {
        fprintf(stderr, "usage: fat_names FOLDER (on a vfat volume)\n");
        return 2;
    }
    return list(dir, "", "");
}
