#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "disk.h"
#include "heaparray.h"
#include "memory_dir.h"
#include "namecase.h"
#include "tempdir.h"
#include "tsv.h"
#include "winpath.h"

namespace {

std::string upper_ascii(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::vector<std::string> components(const std::string &path)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : path + "\\") {
        if (c != '\\' && c != '/') {
            cur += c;
        } else if (!cur.empty()) {
            if (cur == "..")
                out.pop_back();
            else if (cur != ".")
                out.push_back(cur);
            cur.clear();
        }
    }
    return out;
}

// A directory tree as the rows that succeed imply it: every component on the
// way is a directory, the last one a file unless a separator follows it or
// another row goes through it. Names equal but for case are one entry.
class implied_tree {
  public:
    void add(const std::string &cwd, std::string input)
    {
        if (input.rfind("\\\\?\\", 0) == 0)
            input = input.substr(4);
        const bool trailing = !input.empty() && (input.back() == '\\' || input.back() == '/');
        const std::string rest = input.size() >= 2 && input[1] == ':' ? input.substr(2) : input;
        const bool rooted = !rest.empty() && (rest[0] == '\\' || rest[0] == '/');
        const std::string abs =
            rooted ? rest : cwd.substr(2) + "\\" + rest; // "C:x" is in C:'s current folder
        node *n = &root_;
        for (const std::string &c : components(abs)) {
            n->dir = true;
            auto &child = n->children[upper_ascii(c)];
            if (!child)
                child = std::make_unique<node>(node{c, false, {}});
            n = child.get();
        }
        n->dir = n->dir || trailing;
    }
    void create(const std::string &at) const { create(root_, at); }

  private:
    struct node {
        std::string name;
        bool dir;
        std::map<std::string, std::unique_ptr<node>> children;
    };
    static void create(const node &n, const std::string &at)
    {
        for (const auto &[key, child] : n.children) {
            const std::string path = at + "/" + child->name;
            if (child->dir) {
                ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
                create(*child, path);
            } else {
                const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
                ASSERT_GE(fd, 0) << path;
                close(fd);
            }
        }
    }
    node root_{"", true, {}};
};

// '?' in the expected text stands for a checksum digit.
bool matches(const std::string &got, const std::string &expected)
{
    if (got.size() != expected.size())
        return false;
    for (size_t i = 0; i < got.size(); i++)
        if (expected[i] != got[i] && !(expected[i] == '?' && isxdigit(static_cast<unsigned char>(got[i]))))
            return false;
    return true;
}

std::string root_dir;

class ShortPathVectors : public testing::TestWithParam<vector_row> {
  public:
    static void SetUpTestSuite()
    {
        root_dir = temp_dir("tarsel-short-");
        implied_tree tree;
        for (const vector_row &r : read_vectors("shortpath.tsv", "short:"))
            if (r.expected.rfind("ERROR:", 0) != 0 && !r.input.empty())
                tree.add(r.cwd, r.input);
        tree.create(root_dir);
    }
    static void TearDownTestSuite() { EXPECT_TRUE(remove_tree(root_dir)); }
};

TEST_P(ShortPathVectors, GivesWhatWindowsGives)
{
    const vector_row &r = GetParam();
    winpath::current_dir cwd(r.cwd);
    std::string real_cwd = root_dir + r.cwd.substr(2);
    std::replace(real_cwd.begin(), real_cwd.end(), '\\', '/');
    winpath::posix_dirs dirs('C', root_dir.c_str(), real_cwd.c_str());
    char buf[4096];
    const winpath::path_result res = winpath::short_path(r.input.c_str(), cwd, dirs, buf, sizeof buf);
    if (r.expected.rfind("ERROR:", 0) == 0) {
        EXPECT_EQ(res.value, 0u);
        EXPECT_EQ(res.error, std::stoul(r.expected.substr(6)));
    } else {
        ASSERT_NE(res.value, 0u) << "error " << res.error;
        EXPECT_PRED2(matches, std::string(buf), r.expected);
        EXPECT_EQ(res.value, r.expected.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, ShortPathVectors,
                         testing::ValuesIn(read_vectors("shortpath.tsv", "short:")),
                         [](const auto &info) { return row_name(info.param.line); });

class ShortNames : public testing::Test {
  protected:
    void SetUp() override { dir_ = temp_dir("tarsel-short-"); }
    void TearDown() override { EXPECT_TRUE(remove_tree(dir_)); }
    void touch(const std::string &name)
    {
        close(open((dir_ + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644));
    }
    winpath::path_result shorten(const std::string &path, char *buf, DWORD size = 4096)
    {
        winpath::current_dir cwd("C:\\");
        winpath::posix_dirs dirs('C', dir_.c_str(), dir_.c_str());
        return winpath::short_path(path.c_str(), cwd, dirs, buf, size);
    }
    std::string alias(const std::string &name)
    {
        char buf[4096];
        return shorten("C:\\" + name, buf).value ? std::string(buf + 3) : "(error)";
    }
    std::string dir_;
};

// Crowded directories: many stems that share their first two characters
// ("IMG_00" to "IMG_03"), names of nine stems with one checksum ("Az", "BU"
// and "C0" add the same to it), fourteen of one stem and one checksum (~10
// and beyond), short bases, and legal names that hold aliases the
// directory would otherwise hand out.
TEST(ShortNameModel, EveryEntryHasItsOwnShortName)
{
    std::vector<std::string> names;
    char buf[32];
    for (int i = 0; i < 400; i++) {
        snprintf(buf, sizeof buf, "IMG_%04d.jpeg", i);
        names.emplace_back(buf);
    }
    for (const char *a : {"Az", "BU", "C0"})
        for (const char *b : {"Az", "BU", "C0"})
            for (const char *c : {"Az", "BU", "C0"})
                for (int i = 0; i < 3; i++)
                    names.push_back(std::string("Pic ") + a + b + c + " " + std::to_string(i) + ".jpeg");
    // One checksum (CAAC) for 14 names of one stem: ~10 and beyond, cut.
    for (const char *n : {"102124",
                          "102419",
                          "127173",
                          "128642",
                          "128937",
                          "144167",
                          "1576",
                          "15821",
                          "173380",
                          "173675",
                          "190669",
                          "215020",
                          "215315",
                          "232309"})
        names.push_back(std::string("Growing ") + n + ".txt");
    for (const char *n : {"\xC3\xA9.txt", "a b", "a.b.c", "+.txt", "x y.", ".hidden file", "A~B C.txt"})
        names.emplace_back(n);
    DWORD err = 0;
    const std::vector<winpath::short_name> aliases = aliases_of(names, err);
    ASSERT_EQ(err, 0u);
    for (size_t i = 0; i < aliases.size(); i += 7)
        names.emplace_back(aliases[i].c_str());
    names.emplace_back("img_00~2.jpe");
    names.emplace_back("GRCAA~11.TXT");
    memory_dir dir(names);
    EXPECT_EQ(short_name_fault(dir), "");
}

// A name named alone gets what the whole folder gives it, in folders
// crowded enough that aliases reach ~100 and are cut to four characters:
// "Az", "BU" and "C0" add the same to the checksum, so 243 names of nine
// stems share one; and 120 more checksums of nine names each, some of
// which the cut makes equal.
TEST(ShortNameModel, OneNameAloneAsInTheWholeFolder)
{
    const char *pairs[] = {"Az", "BU", "C0"};
    std::vector<std::string> names;
    for (int i = 0; i < 243; i++) {
        std::string n = "Pic ";
        for (int d = i, k = 0; k < 5; k++, d /= 3)
            n += pairs[d % 3];
        names.push_back(n + ".jpeg");
    }
    for (int suffix = 0; suffix < 120; suffix++)
        for (int i = 0; i < 9; i++)
            names.push_back(std::string("Pic ") + pairs[i % 3] + pairs[i / 3] + " " + std::to_string(suffix) +
                            ".jpeg");
    DWORD err = 0;
    const std::vector<winpath::short_name> aliases = aliases_of(names, err);
    size_t cut_to_four = 0;
    for (const winpath::short_name &a : aliases)
        cut_to_four += a.view().find('~') == 4;
    EXPECT_GT(cut_to_four, 0u);
    names.emplace_back(aliases[300].c_str()); // a legal name that holds an alias
    memory_dir dir(names);
    EXPECT_EQ(short_name_fault(dir), "");
}

// Names of one stem take their numbers in byte order ("L" before "l"),
// whatever the directory lists first; each row is a directory in its own
// order and the short name of each entry.
TEST(ShortNameModel, ByteOrderAcrossCase)
{
    struct {
        std::vector<std::string> entries, aliases;
    } rows[] = {
        {{"Other stem.txt", "long Aa 1.txt", "Long Aa 2.txt"},
         {"OTHERS~1.TXT", "LONGAA~2.TXT", "LONGAA~1.TXT"}},
        {{"long Aa 1.txt", "Long Aa 2.txt", "Other stem.txt"},
         {"LONGAA~2.TXT", "LONGAA~1.TXT", "OTHERS~1.TXT"}},
        {{"Zz", "long Aa b", "Long Aa c", "long Aa a", "LONG AA D"},
         {"Zz", "LONGAA~4", "LONGAA~2", "LONGAA~3", "LONGAA~1"}},
        {{"LO.txt", "long Aa 9.txt", "Long Aa 1.txt", "lo.TXT"},
         {"LO.txt", "LONGAA~2.TXT", "LONGAA~1.TXT", "lo.TXT"}},
    };
    for (const auto &row : rows) {
        memory_dir dir(row.entries);
        winpath::current_dir cwd("C:\\");
        for (size_t i = 0; i < row.entries.size(); i++) {
            char buf[64];
            const winpath::path_result r =
                winpath::short_path(("C:\\" + row.entries[i]).c_str(), cwd, dir, buf, sizeof buf);
            EXPECT_EQ(r.value ? std::string(buf + 3) : "error", row.aliases[i]) << row.entries[i];
        }
    }
}

// Volumes that keep short names, or none: what -s shows and finds there.
// A kept name that cannot be one (more than 8 + 3 characters, or one no
// 8.3 name may hold) is never shown, and finds nothing: the entry shows its
// long name, unless no Windows name can be that (a line feed, a "\"): then
// the name the model makes, which finds it too, unless the volume keeps
// that name for another entry.
TEST(ShortNameSources, KeptOrNone)
{
    const std::vector<std::string> names = {"Long File Name 5.txt",
                                            "lower.txt",
                                            "Program Files",
                                            "Damaged One.txt",
                                            "Bad Kept Name.txt",
                                            "No Short Name.txt",
                                            "line\nbreak long.txt",
                                            "dir\\bs",
                                            "Étude Long Name.txt",
                                            "Éclair Long.txt",
                                            "Lower Kept Name.txt",
                                            "Tab\tKept Name.txt",
                                            "Line\nFeed.txt",
                                            "Other One.txt",
                                            "Two Dots Long Name.txt",
                                            "A Link Name Longer Than Any Short Name Could Hold",
                                            "\u0800 Samaritan Long.txt",
                                            "Linked Folder Long"};
    const std::vector<std::string> kept = {"LONGFI~5.TXT",
                                           "LOWER.TXT",
                                           "PROGRA~2",
                                           "DAMAGED~1.TXTX",
                                           "BAD*NA~1.TXT",
                                           "",
                                           "LINE\x01~1.TXT",
                                           "",
                                           "ÉTUDEL~1.TXT",
                                           "éclair~1.txt",
                                           "lowerk~1.txt",
                                           "TABKEP~5.TXT",
                                           "",
                                           "LINEFE~1.TXT",
                                           "A.B.C",
                                           "",
                                           "\u0800SAMAR~1.TXT",
                                           "LINKED~1"};
    struct row {
        const char *path, *shown; // shown "" for a failure
        DWORD error;
    };
    const std::vector<row> kept_rows = {
        {"Long File Name 5.txt", "LONGFI~5.TXT", 0},
        {"longfi~5.txt", "longfi~5.txt", 0},
        {"LO8FE5~1.TXT", "", 2},
        {"LONGFI~1.TXT", "", 2},
        {"program files\\..\\progra~2", "PROGRA~2\\..\\progra~2", 0},
        {"LOWER.TXT", "LOWER.TXT", 0},
        {"Damaged One.txt", "Damaged One.txt", 0},
        {"DAMAGED~1.TXT", "", 2},
        {"Bad Kept Name.txt", "Bad Kept Name.txt", 0},
        {"No Short Name.txt", "No Short Name.txt", 0},
        {"no short name.TXT", "No Short Name.txt", 0},
        {"NOSHOR~1.TXT", "", 2},
        {"line\nbreak long.txt", "LINEBR~1.TXT", 0},
        {"linebr~1.txt", "linebr~1.txt", 0},
        {"dir\\bs", "", 3}, // two components, and there is no "dir"
        {"DIR_BS~1", "DIR_BS~1", 0},
        {"Étude Long Name.txt", "ÉTUDEL~1.TXT", 0},
        {"Étudel~1.txt", "ÉTUDEL~1.TXT", 0}, // beyond ASCII, so no legal 8.3 name: the volume's
        {"étudel~1.txt", "ÉTUDEL~1.TXT", 0},
        {"étude long name.TXT", "ÉTUDEL~1.TXT", 0},
        {"éclair long.txt", "ÉCLAIR~1.TXT", 0},
        {"ÉCLAIR~1.TXT", "ÉCLAIR~1.TXT", 0},
        {"Lower Kept Name.txt", "LOWERK~1.TXT", 0},
        {"Tab\tKept Name.txt", "TABKEP~5.TXT", 0},
        {"TABKEP~1.TXT", "", 2},     // the model's name, but the volume keeps one
        {"Line\nFeed.txt", "", 123}, // the model's name is another entry's
        {"LINEFE~1.TXT", "LINEFE~1.TXT", 0},
        {"Two Dots Long Name.txt", "Two Dots Long Name.txt", 0}, // a kept "A.B.C" is no 8.3 name
        {"A.B.C", "", 2},
        {"\u0800 Samaritan Long.txt", "\u0800SAMAR~1.TXT", 0}, // U+0800, the first of three bytes
        {"LINKED~1\\LINKED~1\\lower.txt", "LINKED~1\\LINKED~1\\lower.txt", 0}, // a link to the folder, twice
    };
    const std::vector<row> none_rows = {
        {"Long File Name 5.txt", "Long File Name 5.txt", 0},
        {"long file name 5.TXT", "Long File Name 5.txt", 0},
        {"LONGFI~5.TXT", "", 2},
        {"lower.txt", "lower.txt", 0},
        {"line\nbreak long.txt", "LINEBR~1.TXT", 0},
        {"LINEBR~1.TXT", "LINEBR~1.TXT", 0},
        {"Line\nFeed.txt", "LINEFE~1.TXT", 0},
        {"Étude Long Name.txt", "Étude Long Name.txt", 0},
        {"ÉTUDE LONG NAME.TXT", "Étude Long Name.txt", 0},
        {"TUDELO~1.TXT", "", 2},
        // A link to the folder, met twice: its name too long to remember
        // with the lookup, found again, not taken as an empty name.
        {"a link name longer than any short name could hold\\a link name longer than any short name could "
         "hold\\lower.txt",
         "A Link Name Longer Than Any Short Name Could Hold\\A Link Name Longer Than Any Short Name Could "
         "Hold\\lower.txt",
         0},
    };
    winpath::current_dir cwd("C:\\");
    char buf[256];
    const auto expect_rows = [&](memory_dir &dir, const std::vector<row> &rows, const char *what) {
        for (const row &r : rows) {
            const winpath::path_result got =
                winpath::short_path((std::string("C:\\") + r.path).c_str(), cwd, dir, buf, sizeof buf);
            EXPECT_EQ(got.error, r.error) << r.path << ", " << what;
            EXPECT_EQ(got.value ? std::string(buf + 3) : "", r.shown) << r.path << ", " << what;
        }
    };
    memory_dir with_kept(names, {"Linked Folder Long"});
    with_kept.how = winpath::short_source::kept;
    with_kept.kept = kept;
    expect_rows(with_kept, kept_rows, "kept names");
    memory_dir dir(names, {"A Link Name Longer Than Any Short Name Could Hold"});
    dir.how = winpath::short_source::none;
    expect_rows(dir, none_rows, "no short names");
    // A listing that fails halfway gives its error, never a partial answer.
    dir.fail_at = 2;
    EXPECT_EQ(winpath::short_path("C:\\Long File Name 5.txt", cwd, dir, buf, sizeof buf).error,
              ERROR_IO_DEVICE);
}

// Memory that runs out anywhere in the listing or the model gives 8: the
// n-th allocation fails, for every n until none does.
int allocations_left = 0;
void *failing_realloc(void *p, size_t n) { return allocations_left-- > 0 ? realloc(p, n) : nullptr; }

TEST(ShortNameModel, MemoryRunningOut)
{
    std::vector<std::string> names;
    for (int i = 0; i < 300; i++)
        names.push_back("Long File Name " + std::to_string(i) + ".txt");
    memory_dir dir(names);
    winpath::current_dir cwd("C:\\");
    char plain[64];
    ASSERT_NE(winpath::short_path("C:\\Long File Name 150.txt", cwd, dir, plain, sizeof plain).value, 0u);
    // By its long name, and by the alias that gave (the lookup's own gather).
    for (const std::string &path : {std::string("C:\\Long File Name 150.txt"), std::string(plain)}) {
        char buf[64];
        winpath::path_result r{0, 0};
        int failures = 0;
        for (int n = 0; r.value == 0 && n < 100; n++, failures++) {
            allocations_left = n;
            winpath::table_realloc = failing_realloc;
            r = winpath::short_path(path.c_str(), cwd, dir, buf, sizeof buf);
            winpath::table_realloc = realloc;
            if (r.value == 0) {
                EXPECT_EQ(r.error, 8u) << path << ", allocation " << n;
            }
        }
        EXPECT_STREQ(buf, plain);
        EXPECT_GE(failures, 4) << path; // the names, their views, the model's table and order
    }
}

// Case is ignored only without an exact entry, and as Windows ignores it:
// through its upcase table, one UTF-16 unit at a time, so beyond ASCII too,
// but with no full folding, no title case, no normalization and nothing
// beyond U+FFFF. Each row: a folder's entries (one ending in "/" is a
// folder that holds x.txt), a name typed, and what -s shows of it ("" where
// it finds nothing); through the in-memory reader and through the disk.
TEST_F(ShortNames, LookupIgnoresCaseAsWindowsDoes)
{
    const std::vector<std::string> mixed = {"Mixed Case Name.txt", "MIXED CASE NAME.TXT", "Zeta Long Name"};
    const struct {
        std::vector<std::string> entries;
        const char *typed, *shown;
    } rows[] = {
        {mixed, "Mixed Case Name.txt", "MIXEDC~2.TXT"},
        {mixed, "mixed case name.TXT", "MIXEDC~1.TXT"}, // the first in byte order
        {mixed, "zeta long name", "ZETALO~1"},
        {{"foo.txt"}, "goo.txt", ""},
        {{"étude long.txt"}, "ÉTUDE LONG.TXT", "TUDELO~1.TXT"},
        {{"ÉTUDE LONG.TXT"}, "étude long.txt", "TUDELO~1.TXT"},
        {{"Документы/"}, "ДОКУМЕНТЫ\\x.txt", "????~1\\x.txt"},
        {{"жизнь long.txt"}, "ЖИЗНЬ LONG.TXT", "LONG~1.TXT"},
        {{"σοφία long.txt"}, "ΣΟΦΊΑ LONG.TXT", "LONG~1.TXT"},
        {{"ａbc long.txt"}, "Ａbc long.txt", "BCLONG~1.TXT"},          // full-width
        {{"ⴀ long.txt"}, "Ⴀ long.txt", "LONG~1.TXT"},                  // Georgian Nuskhuri, Asomtavruli
        {{"\xE9t\xE9 long.txt"}, "\xC9T\xC9 LONG.TXT", "TLONG~1.TXT"}, // Latin-1 bytes: units of their value
        {{"straße long.txt"}, "STRASSE LONG.TXT", ""},
        {{"straße long.txt"}, "STRAẞE LONG.TXT", ""},
        {{"ı long.txt"}, "I long.txt", ""}, // dotless i
        {{"İ long.txt"}, "i long.txt", ""},
        {{"ς long.txt"}, "σ long.txt", ""}, // final sigma
        {{"ς long.txt"}, "Σ long.txt", ""},
        {{"ſ long.txt"}, "S long.txt", ""},                   // long s
        {{"µ long.txt"}, "Μ long.txt", ""},                   // micro sign, capital mu
        {{"ǅ long.txt"}, "Ǆ long.txt", ""},                   // title case
        {{"café long.txt"}, "cafe\u0301 long.txt", ""},       // NFC, NFD
        {{"\U00010428 long.txt"}, "\U00010400 long.txt", ""}, // Deseret, beyond U+FFFF
    };
    char buf[256];
    for (size_t i = 0; i < std::size(rows); i++) {
        const auto &row = rows[i];
        std::vector<std::string> names, folders;
        const std::string here = "r" + std::to_string(i);
        ASSERT_EQ(mkdir((dir_ + "/" + here).c_str(), 0755), 0);
        for (std::string e : row.entries) {
            const bool folder = e.back() == '/';
            e.erase(e.size() - folder);
            names.push_back(e);
            if (folder) {
                folders.push_back(e);
                names.emplace_back("x.txt");
                ASSERT_EQ(mkdir((dir_ + "/" + here + "/" + e).c_str(), 0755), 0);
            }
            touch(here + "/" + e + (folder ? "/x.txt" : ""));
        }
        memory_dir dir(names, folders);
        winpath::current_dir cwd("C:\\");
        winpath::path_result r =
            winpath::short_path((std::string("C:\\") + row.typed).c_str(), cwd, dir, buf, sizeof buf);
        EXPECT_PRED2(matches, r.value ? std::string(buf + 3) : "", row.shown) << row.typed << ", in memory";
        EXPECT_EQ(r.error, *row.shown ? 0u : 2u) << row.typed << ", in memory";
        r = shorten("C:\\" + here + "\\" + row.typed, buf);
        EXPECT_PRED2(matches, r.value ? std::string(buf + 4 + here.size()) : "", row.shown) << row.typed;
        EXPECT_EQ(r.error, *row.shown ? 0u : 2u) << row.typed;
    }
}

// The upcase table is the one Windows 7 and later write when they format a
// volume, as mkntfs writes it too: every unit of a volume made here, read
// back from its $UpCase.
TEST(NameCase, EveryUnitAsTheVolumeTableHasIt)
{
    const std::string dir = temp_dir("tarsel-upcase-"), table = dir + "/upcase";
    if (std::system(
            "PATH=$PATH:/usr/sbin:/sbin; command -v mkntfs >/dev/null && command -v ntfscat >/dev/null") !=
        0) {
        EXPECT_EQ(getenv("TARSEL_REQUIRE_VOLUMES"), nullptr) << "mkntfs or ntfscat is missing";
        GTEST_SKIP() << "mkntfs or ntfscat is missing (scripts/setup-debian installs ntfs-3g)";
    }
    ASSERT_EQ(std::system(("cd '" + dir + "' && PATH=$PATH:/usr/sbin:/sbin && truncate -s 8M ntfs.img && " +
                           "mkntfs -F -f -q ntfs.img >/dev/null 2>&1 && ntfscat ntfs.img '$UpCase' >upcase")
                              .c_str()),
              0);
    FILE *f = fopen(table.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> units(2 * 65536 + 1);
    const size_t got = fread(units.data(), 1, units.size(), f);
    fclose(f);
    ASSERT_EQ(got, 2u * 65536);
    unsigned agree = 0;
    for (unsigned u = 0; u < 65536; u++) {
        const unsigned up = units[2 * u] | units[2 * u + 1] << 8; // little-endian on the volume
        agree += winpath::upcase(u) == up;
        EXPECT_EQ(winpath::upcase(u), up) << "unit " << std::hex << u;
    }
    EXPECT_EQ(agree, 65536u);
    EXPECT_TRUE(remove_tree(dir));
}

TEST_F(ShortNames, BufferContract)
{
    touch("Long File Name.txt");
    char buf[64] = "C:\\Long File Name.txt";
    EXPECT_EQ(shorten(buf, buf, 0).value, 16u); // 15 characters and the NUL
    EXPECT_EQ(shorten(buf, buf, 15).value, 16u);
    EXPECT_STREQ(buf, "C:\\Long File Name.txt");
    const winpath::path_result r = shorten(buf, buf, 16); // same buffer in and out
    EXPECT_EQ(r.value, 15u);
    EXPECT_STREQ(buf, "C:\\LONGFI~1.TXT");
}

TEST_F(ShortNames, FailuresOfTheFileSystem)
{
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("loop", (dir_ + "/loop").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir_ + "/dangling").c_str()), 0);
    touch("file");
    char buf[4096];
    struct {
        const char *path;
        DWORD error;
    } rows[] = {
        {"C:\\loop\\x", 1921},
        {"C:\\loop", 1921},
        {"C:\\dangling", 2},
        {"C:\\dangling\\x", 3},
        {"C:\\file\\x", 3},
        {"C:\\nosuch\\x", 3},
        {"C:\\sub\\nosuch", 2},
        {"D:\\sub", 3},
        {"\\\\srv\\share\\x", 53},
        {"\\\\.\\C:\\sub", 87},
        {"C:\\sub\\a?b", 123},
    };
    for (const auto &row : rows) {
        const winpath::path_result r = shorten(row.path, buf);
        EXPECT_EQ(r.value, 0u) << row.path;
        EXPECT_EQ(r.error, row.error) << row.path;
    }
    // A program started without standard input opens its first folder as
    // descriptor 0, a folder like any other, and walks above it, where the
    // listing takes descriptor 0 in turn.
    touch("Long Name.txt");
    const int saved = dup(0);
    close(0);
    winpath::current_dir in_sub("C:\\sub");
    const std::string sub_dir = dir_ + "/sub";
    winpath::posix_dirs dirs('C', dir_.c_str(), sub_dir.c_str());
    const winpath::path_result r = winpath::short_path("..\\Long Name.txt", in_sub, dirs, buf, sizeof buf);
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(r.error, 0u);
    EXPECT_STREQ(r.value ? buf : "", "..\\LONGNA~1.TXT");
}

// POSIX names may hold a backslash: the walk goes by real names, never by
// the POSIX path the Windows text would spell ("x\y" is not "x/y").
TEST_F(ShortNames, RealNamesOnTheWay)
{
    for (const char *d : {"x\\y", "x", "x/y"})
        ASSERT_EQ(mkdir((dir_ + "/" + d).c_str(), 0755), 0);
    for (const char *f : {"x\\y/secret.txt", "x/y/decoy.txt", "p\\q"})
        touch(f);
    struct {
        const char *path, *shown; // shown "" for a failure
        DWORD error;
    } rows[] = {
        {"C:\\X_Y~1\\secret.txt", "C:\\X_Y~1\\secret.txt", 0},
        {"C:\\x_y~1\\..\\X_Y~1\\.\\secret.txt", "C:\\x_y~1\\..\\X_Y~1\\.\\secret.txt", 0},
        {"C:\\X_Y~1\\decoy.txt", "", 2},
        {"C:\\P_Q~1", "C:\\P_Q~1", 0},
        {"C:\\x\\y\\secret.txt", "", 2},
        {"C:\\x\\y\\decoy.txt", "C:\\x\\y\\decoy.txt", 0},
    };
    char buf[4096];
    for (const auto &row : rows) {
        const winpath::path_result r = shorten(row.path, buf);
        EXPECT_EQ(r.error, row.error) << row.path;
        EXPECT_EQ(r.value ? std::string(buf) : "", row.shown) << row.path;
    }
    // The working directory itself may be such a name, or end in "." or a
    // space: Windows text cannot carry it, so each such component is given
    // as its short name, with and without -s, and the line names the folder
    // it came from, never its sibling (each has its own notes.txt); where no
    // short name can stand for it ("y." is its own), 123. Its "?" is no
    // wildcard. Each row: the working folder, the name, the line's end.
    for (const char *d : {"dir?q", "x\\", "y", "y.", "y./inner", "z.", "v", "v ", "a", "a\\b", "\\"}) {
        mkdir((dir_ + "/" + d).c_str(), 0755);
        touch(std::string(d) + "/notes.txt");
    }
    touch("dir?q/secret.txt");
    touch("notes.txt");
    const struct {
        const char *cwd, *name, *tail; // tail "" for 123
    } cwd_rows[] = {
        {"x\\y", "secret.txt", "\\X_Y~1\\secret.txt"},
        {"dir?q", "secret.txt", "\\DIR_Q~1\\secret.txt"},
        {"x\\", "notes.txt", "\\X_????~1\\notes.txt"},
        {"y.", "notes.txt", ""},
        {"y./inner", "notes.txt", ""}, // not only the last folder
        {"z.", "notes.txt", ""},
        {"v ", ".", "\\V????~1"},
        {"a\\b", "notes.txt", "\\A_B~1\\notes.txt"}, // as README.md shows it
        {"a\\b", "..\\notes.txt", ".."},             // the parent's: dir_'s own
        {"\\", "notes.txt", "\\_????~1\\notes.txt"},
    };
    for (const auto &row : cwd_rows) {
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        ASSERT_EQ(chdir((dir_ + "/" + row.cwd).c_str()), 0);
        char full[4096] = "", shortened[4096] = "";
        const DWORD n = GetFullPathNameA(row.name, sizeof full, full, nullptr);
        const DWORD error = GetLastError();
        const DWORD m = n ? GetShortPathNameA(full, shortened, sizeof shortened) : 0;
        ASSERT_EQ(chdir(here), 0);
        std::string want = row.tail;
        if (want == "..") {
            std::string parent = "Z:" + dir_ + "\\notes.txt";
            std::replace(parent.begin(), parent.end(), '/', '\\');
            EXPECT_EQ(full, parent);
            char shown[4096];
            ASSERT_GT(GetShortPathNameA(parent.c_str(), shown, sizeof shown), 0u);
            want = shown;
        }
        if (want.empty()) {
            EXPECT_EQ(n, 0u) << row.cwd << ": " << full;
            EXPECT_EQ(error, ERROR_INVALID_NAME) << row.cwd;
            continue;
        }
        ASSERT_GT(m, 0u) << row.cwd << ", " << full << ": " << GetLastError();
        if (row.tail[0] != '.') {
            EXPECT_PRED2(matches, std::string(full).substr(n - want.size()), want) << row.cwd;
        }
        EXPECT_PRED2(matches, std::string(shortened).substr(m - std::min<size_t>(m, want.size())), want)
            << row.cwd;
    }
}

// A real path longer than the kernel takes whole (PATH_MAX is 4096) is still
// walked, one directory at a time.
TEST_F(ShortNames, RealPathLongerThanTheKernelTakes)
{
    const std::string name(251, 'a');
    int fd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = "C:";
    for (int i = 0; i < 20; i++) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        const int inner = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = inner;
        path += "\\AAAAAA~1";
    }
    close(openat(fd, "Last File.txt", O_CREAT | O_WRONLY, 0644));
    close(fd);
    char buf[4096];
    const winpath::path_result r = shorten(path + "\\last file.txt", buf);
    ASSERT_NE(r.value, 0u) << r.error;
    EXPECT_EQ(std::string(buf), path + "\\LASTFI~1.TXT");
    // A working directory under 32,767 characters whose Windows text is
    // longer: 106 more folders of 251 bytes, then 200 named "\\", each shown
    // as a short name of 7 characters.
    fd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 326; i++) {
        const char *step = i < 126 ? name.c_str() : "\\";
        if (i >= 20) {
            ASSERT_EQ(mkdirat(fd, step, 0755), 0) << i;
        }
        const int inner = openat(fd, step, O_RDONLY | O_DIRECTORY);
        ASSERT_GE(inner, 0) << i;
        close(fd);
        fd = inner;
    }
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(fchdir(fd), 0);
    close(fd);
    char full[64];
    const DWORD n = GetFullPathNameA("x.txt", sizeof full, full, nullptr);
    const DWORD error = GetLastError();
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(remove_tree(dir_), true);
    ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
}

// A directory met again, here through links to itself, is read once, while
// it does not change; one that changes is read again, and so is one whose
// stamp is in whole seconds: two folders with one device and inode (as
// hostfs gives mounted roots) may then have equal stamps.
TEST(ShortNameWalk, ADirectoryMetAgainIsReadOnce)
{
    std::vector<winpath::dir_stamp> changing;
    for (int64_t t = 1; t < 1000; t++)
        changing.push_back({t / 3, 0, true}); // a new stamp every three calls
    const std::string other = "\\OTHERL~1\\..\\LONGLI~1";
    // The stamps; the step taken every third time and how it shows; how
    // many reads (0: more than one). Two folders of their own met in turn
    // ("Twin Link" leads to the second) are each read once.
    const struct {
        std::vector<winpath::dir_stamp> stamps;
        std::string step, shown;
        int reads;
    } rows[] = {{{}, other, other, 1},
                {changing, other, other, 0},
                {{{1000000000, 2000000000, true}}, other, other, 0},
                {{}, "\\Twin Link", "\\TWINLI~1", 2}};
    for (const auto &row : rows) {
        memory_dir dir({"Long Link", "Other Link", "Twin Link", "Long File Name.txt"},
                       {"Long Link", "Other Link"});
        dir.twins = {"Twin Link"};
        dir.stamps = row.stamps;
        winpath::current_dir cwd("C:\\");
        std::string path = "C:", shown = "C:";
        for (int i = 0; i < 39; i++) {
            path += i % 3 ? "\\Long Link" : row.step;
            shown += i % 3 ? "\\LONGLI~1" : row.shown;
        }
        char buf[1024];
        const winpath::path_result r =
            winpath::short_path((path + "\\longfi~1.txt").c_str(), cwd, dir, buf, sizeof buf);
        ASSERT_NE(r.value, 0u) << r.error;
        EXPECT_EQ(buf, shown + "\\longfi~1.txt"); // each link shown by its short name, met again too
        if (row.reads)
            EXPECT_EQ(dir.reads, row.reads) << row.step;
        else
            EXPECT_GT(dir.reads, 1) << row.step;
        EXPECT_EQ(dir.checked, "Long File Name.txt");
    }
}

// A listing counts whole when the directory's stamp is the same before and
// after it and settled (a later change would show); else it stands for the
// entry asked about when what its answer depends on is the same in three
// reads in a row. Each row: the stamps the directory gives, call by call;
// a name listed by every other read; the path; where the short names come
// from; how many reads; the result.
TEST(ShortNameWalk, AListingCountsOnlyWhenWhatTheAnswerNeedsHeldStill)
{
    const winpath::dir_stamp old{1, 1, true}, newer{2, 2, true}, recent{3, 3, false};
    std::vector<winpath::dir_stamp> changing;
    for (int64_t t = 1; t < 100; t++)
        changing.push_back({t, t, true});
    struct {
        std::vector<winpath::dir_stamp> stamps;
        const char *flicker, *path;
        int kept; // -1: names made; else kept ("LONGFI~1.TXT"), moved in the first `kept` reads
        int reads;
        DWORD error;
    } rows[] = {
        {{old}, "", "C:\\Long File Name.txt", -1, 1, 0},
        {{old, old, newer, newer, newer}, "", "C:\\Long File Name.txt", -1, 2, 0}, // changed during the first
                                                                                   // read
        {{recent}, "", "C:\\Long File Name.txt", -1, 3, 0},               // may change unseen: three alike
        {changing, "", "C:\\Long File Name.txt", -1, 3, 0},               // never still, but nothing changes
        {changing, "tmp.u8Kx3Zq0ab", "C:\\Long File Name.txt", -1, 3, 0}, // others come and go
        {changing, "tmp.u8Kx3Zq0ab", "C:\\LONGFI~1.TXT", -1, 3, 0},
        {changing, "tmp.u8Kx3Zq0ab", "C:\\Nothing Here.txt", -1, 3, 2},
        {changing, "Long File Name A.txt", "C:\\Long File Name.txt", -1, 6, 31}, // its family comes and goes
        {changing, "Long File Name A.txt", "C:\\LONGFI~2.TXT", -1, 6, 31},
        {changing, "Long File Name.txt", "C:\\LONGFI~1.TXT", -1, 6, 31},           // the entry itself
        {{old}, "Long File Name A.txt", "C:\\Other.txt\\..\\Other.txt", -1, 0, 0}, // legal names: no listing
        {{recent}, "", "C:\\y.", -1, 1, 0},                 // found as it is: its own name is the answer
        {{recent}, "", "C:\\Long File Name.txt", 0, 1, 0},  // its kept name, read with it, is the answer
        {{recent}, "", "C:\\Long File Name.txt", 1, 2, 0},  // a read that found it moved does not count
        {{recent}, "", "C:\\Line\nFeed Long.txt", 0, 3, 0}, // none kept: the name made, from the others
    };
    for (const auto &row : rows) {
        memory_dir dir({"Long File Name.txt", "Other.txt", "y.", "Line\nFeed Long.txt"}, {"Other.txt"});
        if (row.kept >= 0) {
            dir.how = winpath::short_source::kept;
            dir.kept = {"LONGFI~1.TXT"};
            dir.moved_reads = row.kept;
        }
        dir.stamps = row.stamps;
        dir.flicker = row.flicker;
        if (dir.flicker == "Long File Name.txt")
            dir.names.erase(dir.names.begin());
        winpath::current_dir cwd("C:\\");
        char buf[64];
        const winpath::path_result r = winpath::short_path(row.path, cwd, dir, buf, sizeof buf);
        EXPECT_EQ(r.error, row.error) << row.path << ", " << row.flicker;
        EXPECT_EQ(dir.reads, row.reads) << row.path << ", " << row.flicker << ", " << row.kept;
        if (row.kept >= 0 && strcmp(row.path, "C:\\Long File Name.txt") == 0) {
            EXPECT_STREQ(r.value ? buf : "", "C:\\LONGFI~1.TXT"); // its kept name
        }
    }
}

// Through the real disk: a folder whose stamp can show a later change is
// read once; one stamped ahead of the clock (a stick written an hour east of
// UTC) cannot show one yet, and is read again, watched.
TEST_F(ShortNames, AFolderStampedAheadIsReadAgain)
{
    struct counting_dirs : winpath::posix_dirs {
        using posix_dirs::posix_dirs;
        DWORD list(winpath::dir_handle dir, winpath::short_source &how) override
        {
            lists++;
            return posix_dirs::list(dir, how);
        }
        int lists = 0;
    };
    const struct {
        int seconds; // the folder's stamp, from now
        int reads;
    } rows[] = {{-3600, 1}, {3600, 2}};
    for (const auto &row : rows) {
        const std::string folder = "s" + std::to_string(row.seconds + 3600);
        ASSERT_EQ(mkdir((dir_ + "/" + folder).c_str(), 0755), 0);
        touch(folder + "/Long File Name.txt");
        const timespec when[2] = {{time(nullptr) + row.seconds, 0}, {time(nullptr) + row.seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir_ + "/" + folder).c_str(), when, 0), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // past the tick that stamped its change
        winpath::current_dir cwd("C:\\");
        counting_dirs dirs('C', dir_.c_str(), dir_.c_str());
        char buf[256];
        const winpath::path_result r = winpath::short_path(
            ("C:\\" + folder + "\\Long File Name.txt").c_str(), cwd, dirs, buf, sizeof buf);
        EXPECT_STREQ(r.value ? buf : "", ("C:\\" + folder + "\\LONGFI~1.TXT").c_str());
        // Where times come in whole seconds (qemu-user's fstat gives some
        // machines' programs no nanoseconds), a change this recent cannot
        // show yet either. The folder's times as the reader sees them:
        struct stat st;
        const int fd = open((dir_ + "/" + folder).c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(fstat(fd, &st), 0);
        close(fd);
        EXPECT_EQ(dirs.lists, st.st_ctim.tv_nsec == 0 ? 2 : row.reads) << row.seconds;
    }
}

// A folder that changes while -s reads it. First a second thread renames
// A into C and back: Z always has "~2" and "~3" never exists, whichever of
// the two the folder holds. Every answer given is true of the folder at
// some moment; failures are allowed, as the names Z's depends on never
// hold still. Then, with 10,000 entries, a thread creates and removes
// temporary files as fast as it can, twenty at a time, none of them of the
// family of the names asked about: every answer is given, and right.
TEST_F(ShortNames, AFolderThatChangesWhileItIsRead)
{
    for (int i = 0; i < 3000; i++)
        touch("Other Entry " + std::to_string(i));
    touch("Long File Name A.txt");
    touch("Long File Name Z.txt");
    std::atomic<bool> stop{false};
    std::thread renamer([&] {
        const std::string a = dir_ + "/Long File Name A.txt", c = dir_ + "/Long File Name C.txt";
        for (int i = 0; !stop; i++) {
            rename(i % 2 ? c.c_str() : a.c_str(), i % 2 ? a.c_str() : c.c_str());
            std::this_thread::sleep_for(std::chrono::microseconds(i % 4 * 400 + 100)); // now and then still
        }
    });
    char buf[4096];
    int answered = 0;
    for (int run = 0; run < 200; run++) {
        const bool by_alias = run % 2;
        const winpath::path_result r =
            shorten(by_alias ? "C:\\LONGFI~3.TXT" : "C:\\Long File Name Z.txt", buf);
        if (r.value == 0)
            continue;
        answered++;
        EXPECT_FALSE(by_alias) << "LONGFI~3.TXT found";
        EXPECT_STREQ(buf, "C:\\LONGFI~2.TXT");
    }
    stop = true;
    renamer.join();
    RecordProperty("renamed_answered", answered);

    for (int i = 3000; i < 10000; i++)
        touch("Other Entry " + std::to_string(i));
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/Deep Folder").c_str(), 0755), 0);
    touch("sub/Another Long Name.txt");
    touch("Deep Folder/x.txt");
    stop = false;
    std::thread churn([&] {
        for (unsigned i = 0; !stop; i++) {
            char name[32];
            snprintf(name, sizeof name, "/tmp.%08X%02u", i * 2654435761u, i % 100);
            touch(name);
            snprintf(name, sizeof name, "/tmp.%08X%02u", (i - 20) * 2654435761u, (i - 20) % 100);
            unlink((dir_ + name).c_str());
        }
    });
    const struct {
        const char *path, *shown;
    } rows[] = {
        {"C:\\Long File Name Z.txt", "C:\\LONGFI~2.TXT"},
        {"C:\\sub\\Another Long Name.txt", "C:\\sub\\ANOTHE~1.TXT"},
        {"C:\\Deep Folder\\x.txt", "C:\\DEEPFO~1\\x.txt"},
    };
    for (int run = 0; run < 90; run++) {
        const winpath::path_result r = shorten(rows[run % 3].path, buf);
        EXPECT_EQ(r.error, 0u) << rows[run % 3].path;
        EXPECT_STREQ(r.value ? buf : "", rows[run % 3].shown);
    }
    stop = true;
    churn.join();
}

} // namespace
