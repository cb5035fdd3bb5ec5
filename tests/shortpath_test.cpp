#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <sched.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string lower_ascii(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
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

// The tree the rows that succeed imply, as an NTFS volume that keeps short
// names holds it: every component on the way is a directory, the last one
// a file unless a separator follows it or another row goes through it;
// names equal but for case are one entry; a component that is no legal 8.3
// name keeps the short name the row shows for it. Read through the
// directory-reader seam; handles are the nodes' numbers.
class kept_tree : public winpath::dir_reader {
  public:
    explicit kept_tree(const std::vector<vector_row> &rows) : nodes_(1)
    {
        for (const vector_row &r : rows)
            if (r.expected.rfind("ERROR:", 0) != 0 && !r.input.empty())
                add(r.cwd, r.input, r.expected);
    }
    void work_in(const std::string &cwd) { cwd_ = walk_to(components(cwd.substr(2))); }

    DWORD start(char drive, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        if (drive != 0 && winpath::upper(drive) != 'C')
            return ERROR_PATH_NOT_FOUND;
        dir = drive ? 0 : cwd_;
        id = {1, static_cast<uint64_t>(dir)};
        return 0;
    }
    DWORD open(winpath::dir_handle parent, const char *name, winpath::dir_handle &dir,
               winpath::dir_id &id) override
    {
        const int n = child(parent, name);
        if (n < 0 || !nodes_[n].dir)
            return ERROR_PATH_NOT_FOUND;
        dir = n;
        id = {1, static_cast<uint64_t>(n)};
        return 0;
    }
    DWORD up(winpath::dir_handle dir, winpath::dir_handle &parent, winpath::dir_id &id) override
    {
        parent = nodes_[dir].parent;
        id = {1, static_cast<uint64_t>(parent)};
        return 0;
    }
    void close(winpath::dir_handle) override {}
    DWORD list(winpath::dir_handle dir, winpath::short_source &how) override
    {
        listed_ = dir;
        next_ = 0;
        how = winpath::short_source::kept;
        return 0;
    }
    DWORD next(winpath::dir_entry &e) override
    {
        const std::vector<int> &in = nodes_[listed_].children;
        e = {};
        e.name = next_ < in.size() ? nodes_[in[next_++]].name.c_str() : nullptr;
        return 0;
    }
    DWORD check(winpath::dir_handle dir, const char *name) override
    {
        return child(dir, name) >= 0 ? 0 : ERROR_FILE_NOT_FOUND;
    }
    DWORD lookup(winpath::dir_handle dir, const char *name) override { return check(dir, name); }
    DWORD kept_name(winpath::dir_handle dir, const winpath::dir_entry &e, winpath::volume_name &kept) override
    {
        kept.assign(nodes_[child(dir, e.name)].kept);
        return 0;
    }
    DWORD find_kept(winpath::dir_handle dir, std::string_view name, winpath::entry_name &found,
                    winpath::volume_name &kept) override
    {
        found.clear();
        kept.clear();
        for (int n : nodes_[dir].children)
            if (!nodes_[n].kept.empty() && winpath::same_name(nodes_[n].kept, name)) {
                found.assign(nodes_[n].name);
                kept.assign(nodes_[n].kept);
            }
        return 0;
    }

  private:
    struct node {
        std::string name, kept;
        bool dir = false;
        int parent = 0;
        std::vector<int> children;
    };
    int child(int dir, const std::string &name) const
    {
        for (int n : nodes_[dir].children)
            if (nodes_[n].name == name)
                return n;
        return -1;
    }
    // The node of `path`'s components (pairs of a name and what shows it),
    // made where missing.
    int walk_to(const std::vector<std::string> &names, const std::vector<std::string> &shown = {})
    {
        int at = 0;
        for (size_t i = 0; i < names.size(); i++) {
            nodes_[at].dir = true;
            int n = -1;
            for (int c : nodes_[at].children)
                n = upper_ascii(nodes_[c].name) == upper_ascii(names[i]) ? c : n;
            if (n < 0) {
                n = static_cast<int>(nodes_.size());
                nodes_.push_back({names[i], "", false, at, {}});
                nodes_[at].children.push_back(n);
            }
            if (i < shown.size() && !winpath::legal_83(names[i]))
                nodes_[n].kept = shown[i];
            at = n;
        }
        return at;
    }
    void add(const std::string &cwd, std::string input, std::string expected)
    {
        for (std::string *s : {&input, &expected})
            if (s->rfind("\\\\?\\", 0) == 0)
                *s = s->substr(4);
        const bool trailing = !input.empty() && (input.back() == '\\' || input.back() == '/');
        const auto rest = [](const std::string &s) { return s.size() >= 2 && s[1] == ':' ? s.substr(2) : s; };
        const bool rooted = !rest(input).empty() && (rest(input)[0] == '\\' || rest(input)[0] == '/');
        const std::string at = rooted ? "" : cwd.substr(2) + "\\"; // "C:x" is in C:'s current folder
        const int n = walk_to(components(at + rest(input)), components(at + rest(expected)));
        nodes_[n].dir = nodes_[n].dir || trailing;
    }

    std::vector<node> nodes_;
    int cwd_ = 0, listed_ = 0;
    size_t next_ = 0;
};

TEST(ShortPathVectors, GivesWhatWindowsGives)
{
    const std::vector<vector_row> rows = read_vectors("shortpath.tsv", "short:");
    kept_tree tree(rows);
    for (const vector_row &r : rows) {
        winpath::current_dir cwd(r.cwd);
        tree.work_in(r.cwd);
        char buf[4096];
        const winpath::path_result res = winpath::short_path(r.input.c_str(), cwd, tree, buf, sizeof buf);
        if (r.expected.rfind("ERROR:", 0) == 0) {
            EXPECT_EQ(res.value, 0u) << r;
            EXPECT_EQ(res.error, std::stoul(r.expected.substr(6))) << r;
        } else {
            ASSERT_NE(res.value, 0u) << r << ": error " << res.error;
            EXPECT_EQ(std::string(buf), r.expected) << r;
            EXPECT_EQ(res.value, r.expected.size()) << r;
        }
    }
}

// Wine's aliases, as Debian 12's Wine 8 and Debian 13's Wine 10 gave them
// for real files (winepath -s); a name Wine takes as 8.3 is its own. An
// alias shows where both versions make it and it is an 8.3 name, and every
// name is found by either version's.
TEST(WineAlias, AsEachVersionMakesIt)
{
    const std::vector<vector_row> rows = read_vectors("wine-alias.tsv", "");
    ASSERT_GT(rows.size(), 300u);
    for (const vector_row &r : rows) {
        const std::string name = decode(r.cwd), w8 = r.input, w10 = r.expected;
        const bool own = winpath::wine_legal(name);
        EXPECT_EQ(own ? name : winpath::wine_alias(name, winpath::wine::v8).c_str(), w8) << r;
        EXPECT_EQ(own ? name : winpath::wine_alias(name, winpath::wine::v10).c_str(), w10) << r;
        const bool common = !own && w8 == w10 && winpath::legal_83(w8);
        EXPECT_EQ(winpath::common_alias(name).c_str(), common ? w8 : "") << r;
        for (const std::string &alias : {w8, w10}) {
            EXPECT_EQ(winpath::alias_match(alias)(name), !own) << r << ", " << alias;
            EXPECT_EQ(winpath::alias_match(lower_ascii(alias))(name), !own) << r << ", in lower case";
        }
    }
}

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

// Volumes that keep short names, or none: what -s shows and finds there.
// A kept name that cannot be one (more than 8 + 3 characters, or one no
// 8.3 name may hold) is never shown, and finds nothing: the entry shows its
// long name, unless no Windows name can be that (a line feed, a "\"): then
// nothing names it (123). Wine's aliases find nothing there.
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
                                            "Linked Folder Long",
                                            "\u212A.txt",
                                            "Third Dir Long",
                                            "otherd~1",
                                            "Eclat Latin One.txt"};
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
                                           "LINKED~1",
                                           "",
                                           "OTHERD~1",
                                           "",
                                           "\xE9"
                                           "clat~1.txt"};
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
        {"line\nbreak long.txt", "", 123},
        {"linebr~1.txt", "", 2},
        {"dir\\bs", "", 3}, // two components, and there is no "dir"
        {"DIR_~CKN", "", 2},
        {"Étude Long Name.txt", "ÉTUDEL~1.TXT", 0},
        {"Étudel~1.txt", "ÉTUDEL~1.TXT", 0}, // beyond ASCII, so no legal 8.3 name: the volume's
        {"étudel~1.txt", "ÉTUDEL~1.TXT", 0},
        {"étude long name.TXT", "ÉTUDEL~1.TXT", 0},
        {"éclair long.txt", "ÉCLAIR~1.TXT", 0},
        {"ÉCLAIR~1.TXT", "ÉCLAIR~1.TXT", 0},
        {"Lower Kept Name.txt", "LOWERK~1.TXT", 0},
        {"Tab\tKept Name.txt", "TABKEP~5.TXT", 0},
        {"TABKEP~1.TXT", "", 2},     // not the name the volume keeps
        {"LONG~BR5.TXT", "", 2},     // Wine's alias of Long File Name 5.txt
        {"Line\nFeed.txt", "", 123}, // none kept
        {"LINEFE~1.TXT", "LINEFE~1.TXT", 0},
        {"Two Dots Long Name.txt", "Two Dots Long Name.txt", 0}, // a kept "A.B.C" is no 8.3 name
        {"A.B.C", "", 2},
        {"\u0800 Samaritan Long.txt", "\u0800SAMAR~1.TXT", 0}, // U+0800, the first of three bytes
        {"LINKED~1\\LINKED~1\\lower.txt", "LINKED~1\\LINKED~1\\lower.txt", 0}, // a link to the folder, twice
        {"Third Dir Long", "Third Dir Long", 0}, // its kept OTHERD~1 is another entry's long name
        {"OTHERD~1", "OTHERD~1", 0},
        {"Eclat Latin One.txt",
         "\xC9"
         "CLAT~1.TXT",
         0}, // kept in Latin-1: é is 0xE9, É 0xC9
        {"\xC9"
         "clat~1.txt",
         "\xC9"
         "CLAT~1.TXT",
         0},
    };
    const std::vector<row> none_rows = {
        {"Long File Name 5.txt", "Long File Name 5.txt", 0},
        {"long file name 5.TXT", "Long File Name 5.txt", 0},
        {"LONGFI~5.TXT", "", 2},
        {"lower.txt", "lower.txt", 0},
        {"line\nbreak long.txt", "", 123},
        {"LINE~ZQJ.TXT", "", 2},
        {"Line\nFeed.txt", "", 123},
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
    // A case-folding folder finds the Kelvin sign by "K"; Windows does not.
    const std::vector<row> folding_rows = {
        {"K.TXT", "", 2},
        {"\u212A.txt", "_~~~~3XT.TXT", 0},
        {"LOWER.TXT", "LOWER.TXT", 0},
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
    memory_dir folding(names);
    folding.folding = true;
    expect_rows(folding, folding_rows, "a case-folding folder");
    // A listing that fails halfway gives its error, never a partial answer.
    dir.fail_at = 2;
    EXPECT_EQ(winpath::short_path("C:\\Long File Name 5.txt", cwd, dir, buf, sizeof buf).error,
              ERROR_IO_DEVICE);
}

// Memory that runs out anywhere in the walk gives 8: the n-th allocation
// fails, for every n until none does.
int allocations_left = 0;
void *failing_realloc(void *p, size_t n) { return allocations_left-- > 0 ? realloc(p, n) : nullptr; }

TEST(ShortNameWalk, MemoryRunningOut)
{
    std::vector<std::string> names;
    for (int i = 0; i < 300; i++)
        names.push_back("Long File Name " + std::to_string(i) + ".txt");
    memory_dir dir(names);
    winpath::current_dir cwd("C:\\");
    char plain[64];
    ASSERT_NE(winpath::short_path("C:\\Long File Name 150.txt", cwd, dir, plain, sizeof plain).value, 0u);
    // By its long name, and by the alias that gave.
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
        EXPECT_GE(failures, 1) << path; // the folders on the way
    }
}

// What -s shows for a name, and what it finds. Case is ignored only
// without an exact entry, and as Windows ignores it: through its upcase
// table, one UTF-16 unit at a time, so beyond ASCII too, but with no full
// folding, no title case, no normalization and nothing beyond U+FFFF. An
// entry shows as Wine's alias where both versions make it and it is that
// entry's alone, else as its long name, else (no Windows text carries that)
// nothing: 123. A legal 8.3 name typed finds an entry by either version's
// alias. Each row: a folder's entries (one ending in "/" is a folder that
// holds x.txt), a name typed, what -s shows of it ("" where it fails, with
// `error`); through the in-memory reader and through the disk. In memory,
// every entry's own line leads back to it, under Wine too.
TEST_F(ShortNames, WhatShowsAndWhatIsFound)
{
    const std::vector<std::string> mixed = {"Mixed Case Name.txt", "MIXED CASE NAME.TXT", "Zeta Long Name"};
    const std::vector<std::string> img = {"IMG_0118.jpeg", "IMG_1002.jpeg", "IMG_0119.jpeg"};
    const struct {
        std::vector<std::string> entries;
        const char *typed, *shown;
        DWORD error = ERROR_FILE_NOT_FOUND;
    } rows[] = {
        {mixed, "Mixed Case Name.txt", "Mixed Case Name.txt"}, // the two share their alias
        {mixed, "mixed case name.TXT", "MIXED CASE NAME.TXT"}, // the first in byte order
        {mixed, "zeta long name", "ZETA~TKX"},
        {mixed, "MIXE~ONR.TXT", "MIXE~ONR.TXT"}, // the first listed of the two
        {{"foo.txt"}, "goo.txt", ""},
        {{"étude long.txt"}, "ÉTUDE LONG.TXT", "_TUD~3S5.TXT"},
        {{"ÉTUDE LONG.TXT"}, "étude long.txt", "_TUD~3S5.TXT"},
        {{"Документы/"}, "ДОКУМЕНТЫ\\x.txt", "____~KK3\\x.txt"},
        {{"жизнь long.txt"}, "ЖИЗНЬ LONG.TXT", "____~YB1.TXT"},
        {{"σοφία long.txt"}, "ΣΟΦΊΑ LONG.TXT", "____~PN1.TXT"},
        {{"ａbc long.txt"}, "Ａbc long.txt", "_BC_~VX0.TXT"},           // full-width
        {{"ⴀ long.txt"}, "Ⴀ long.txt", "__LO~12J.TXT"},                 // Georgian Nuskhuri, Asomtavruli
        {{"\xE9t\xE9 long.txt"}, "\xC9T\xC9 LONG.TXT", "_T__~MU3.TXT"}, // Latin-1 bytes: units of their value
        {{"a\xE9"
          "b.txt"},
         "a\xC3\xA9"
         "b.txt",
         "A_B~~QWP.TXT"},                                     // one entry to Windows, two aliases to Wine
        {{"\xE9t\xE9 long.txt"}, "\xE8T\xE8 LONG.TXT", ""},   // è is no é, in Latin-1 too
        {{"\xE0\x9F\xBF long.txt"}, "\xDF\xBF long.txt", ""}, // an overlong U+07FF is three bytes
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
        {img, "IMG_1002.jpeg", "IMG_1002.jpeg"},              // IMG_~4KZ.JPE is IMG_0118.jpeg's too
        {img, "IMG_0119.jpeg", "IMG_~5OZ.JPE"},
        {img, "img_~4kz.jpe", "img_~4kz.jpe"},
        {{"Long Notes.txt", "LONG~TTV.TXT"},
         "Long Notes.txt",
         "Long Notes.txt"}, // its alias is another's name
        {{"Long Notes.txt", "long~ttv.txt"}, "Long Notes.txt", "Long Notes.txt"},
        {{"Long Notes.txt", "LONG~TTV.TXT"}, "long~ttv.txt", "long~ttv.txt"},
        {{"Long Notes.txt"}, "long~ttv.txt", "long~ttv.txt"},
        {{"Long Notes.txt"}, "LONG~TTW.TXT", ""},
        {{".bashrc"}, ".bashrc", ".bashrc"}, // _BAS~0WR in Wine 8, BASH~0WR in Wine 10
        {{".bashrc"}, "_BAS~0WR", "_BAS~0WR"},
        {{".bashrc"}, "bash~0wr", "bash~0wr"},
        {{"v1.2.3.txt"}, "v1.2.3.txt", "v1.2.3.txt"},
        {{"Long Folder/"}, "long folder\\X.TXT", "LONG~WDY\\X.TXT"},
        {{"line\nfeed"}, "line\nfeed", "LINE~EJD"},
        {{"line\nfeed", "LINE~EJD"}, "line\nfeed", "", ERROR_INVALID_NAME},
        {{"a\nb"}, "a\nb", "", ERROR_INVALID_NAME}, // an 8.3 name to Wine: it looks for no alias
        {{"y."}, "y.", "", ERROR_INVALID_NAME},     // Y_~~~YLZ in Wine 8, Y~~~~YLZ in Wine 10
        {{"y."}, "Y_~~~YLZ", "Y_~~~YLZ"},
        {{"a:b.txt"}, "a:b.txt", "", ERROR_INVALID_NAME}, // A:B~~KYR.TXT: no 8.3 name
        {{"x\xE9 long.txt", "x\xE8 long.txt"},
         "x\xE9 long.txt",
         "",
         ERROR_INVALID_NAME}, // both X__L~EBD.TXT to Wine
        {{"x\xE9 long.txt"}, "x\xE9 long.txt", "X__L~EBD.TXT"},
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
        EXPECT_EQ(r.value ? std::string(buf + 3) : "", row.shown) << row.typed << ", in memory";
        EXPECT_EQ(r.error, *row.shown ? 0u : row.error) << row.typed << ", in memory";
        EXPECT_EQ(lead_back_fault(dir), "") << row.typed;
        r = shorten("C:\\" + here + "\\" + row.typed, buf);
        EXPECT_EQ(r.value ? std::string(buf + 4 + here.size()) : "", row.shown) << row.typed;
        EXPECT_EQ(r.error, *row.shown ? 0u : row.error) << row.typed;
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
    EXPECT_STREQ(buf, "C:\\LONG~5R1.TXT");
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
    EXPECT_STREQ(r.value ? buf : "", "..\\LONG~JPX.TXT");
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
        {"C:\\X\\Y~~XF3\\secret.txt", "", 3}, // Wine's alias of "x\\y" holds its "\\"
        {"C:\\P\\Q~~HXX", "", 3},
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
    // short name can stand for it (Wine's holds the "\", or Wine 8 and 10
    // make two), 123. Its "?" is no wildcard. Each row: the working folder,
    // the name, the line's end.
    for (const char *d : {"dir?q",
                          "x\\",
                          "y",
                          "y.",
                          "y./inner",
                          "z.",
                          "d.",
                          "long name.",
                          "long name",
                          "v",
                          "v ",
                          "a",
                          "a\\b",
                          "\\"}) {
        mkdir((dir_ + "/" + d).c_str(), 0755);
        touch(std::string(d) + "/notes.txt");
    }
    touch("dir?q/secret.txt");
    touch("notes.txt");
    const struct {
        const char *cwd, *name, *tail; // tail "" for 123
    } cwd_rows[] = {
        {"x\\y", "secret.txt", ""},
        {"dir?q", "secret.txt", "\\DIR_~QK4\\secret.txt"},
        {"x\\", "notes.txt", ""},
        {"y.", "notes.txt", ""},
        {"y./inner", "notes.txt", ""}, // not only the last folder
        {"z.", "notes.txt", ""},
        {"d.", "notes.txt", ""},                              // D_~~~YMR in Wine 8, D~~~~YMR in Wine 10
        {"long name.", "notes.txt", "\\LONG~CLB\\notes.txt"}, // one alias in both: not "long name"
        {"v ", ".", "\\V_~~~EL5"},
        {"v ", "..\\v\\notes.txt", ".."}, // the sibling's: dir_'s own
        {"a\\b", "notes.txt", ""},
        {"\\", "notes.txt", ""},
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
            std::string parent = "Z:" + dir_ + "\\v\\notes.txt";
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
            EXPECT_EQ(std::string(full).substr(n - want.size()), want) << row.cwd;
        }
        EXPECT_EQ(std::string(shortened).substr(m - std::min<size_t>(m, want.size())), want) << row.cwd;
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
        path += "\\AAAA~NAR";
    }
    close(openat(fd, "Last File.txt", O_CREAT | O_WRONLY, 0644));
    close(fd);
    char buf[4096];
    const winpath::path_result r = shorten(path + "\\last file.txt", buf);
    ASSERT_NE(r.value, 0u) << r.error;
    EXPECT_EQ(std::string(buf), path + "\\LAST~BVC.TXT");
    // A working directory under 32,767 characters whose Windows text is
    // longer: 106 more folders of 251 bytes, then 200 named "v ", each shown
    // as Wine's alias of 8 characters.
    fd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 326; i++) {
        const char *step = i < 126 ? name.c_str() : "v ";
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

// A component met again in a directory, here through links to itself, is
// not read again while the directory does not change; it is where it
// changes, and where its stamp is in whole seconds: two folders with one
// device and inode (as hostfs gives mounted roots) may then have equal
// stamps.
TEST(ShortNameWalk, AComponentMetAgainIsReadOnce)
{
    std::vector<winpath::dir_stamp> changing;
    for (int64_t t = 1; t < 1000; t++)
        changing.push_back({t / 3, 0, true}); // a new stamp every three calls
    const std::string other = "\\OTHE~5SI\\..\\LONG~0NI";
    // The stamps; the step taken every third time and how it shows; how
    // many reads (0: more than 4). Two folders of their own met in turn
    // ("Twin Link" leads to the second) are each read once for each name.
    const struct {
        std::vector<winpath::dir_stamp> stamps;
        std::string step, shown;
        int reads;
    } rows[] = {{{}, other, other, 4},
                {changing, other, other, 0},
                {{{1000000000, 2000000000, true}}, other, other, 0},
                {{}, "\\Twin Link", "\\TWIN~3WZ", 4}};
    for (const auto &row : rows) {
        memory_dir dir({"Long Link", "Other Link", "Twin Link", "Long File Name.txt"},
                       {"Long Link", "Other Link"});
        dir.twins = {"Twin Link"};
        dir.stamps = row.stamps;
        winpath::current_dir cwd("C:\\");
        std::string path = "C:", shown = "C:";
        for (int i = 0; i < 39; i++) {
            path += i % 3 ? "\\Long Link" : row.step;
            shown += i % 3 ? "\\LONG~0NI" : row.shown;
        }
        char buf[1024];
        const winpath::path_result r =
            winpath::short_path((path + "\\long~5r1.txt").c_str(), cwd, dir, buf, sizeof buf);
        ASSERT_NE(r.value, 0u) << r.error;
        EXPECT_EQ(buf, shown + "\\long~5r1.txt"); // each link shown by its alias, met again too
        if (row.reads)
            EXPECT_EQ(dir.reads, row.reads) << row.step;
        else
            EXPECT_GT(dir.reads, 4) << row.step;
        EXPECT_EQ(dir.checked, "Long File Name.txt");
    }
}

// An alias shows only where a read that counted it stands: the directory's
// stamp the same before and after it and settled (a later change would
// show), or a watch set before it saw no name change whose alias or name
// matters. Where none stands in four reads, the long name shows. What
// needs no count (a name found, a kept name) takes one read, and a kept
// name one more, for the long names it must not be. Each row: the
// stamps the directory gives, call by call; a name listed by every other
// read, and seen changing where the directory can be watched; the path;
// where the short names come from; how many reads; the result.
TEST(ShortNameWalk, AnAliasShowsOnlyWhereItsCountHeldStill)
{
    const winpath::dir_stamp old{1, 1, true}, newer{2, 2, true}, recent{3, 3, false};
    std::vector<winpath::dir_stamp> changing;
    for (int64_t t = 1; t < 100; t++)
        changing.push_back({t, t, true});
    const char *alias = "C:\\LONG~5R1.TXT", *name = "C:\\Long File Name.txt";
    struct {
        std::vector<winpath::dir_stamp> stamps;
        bool watchable;
        const char *flicker, *path;
        int kept; // -1: Wine's aliases; else kept ("LONGFI~1.TXT"), moved in the first `kept` reads
        int reads;
        const char *shown; // "" for a failure
    } rows[] = {
        {{old}, false, "", name, -1, 1, alias},
        {{old, old, newer, newer, newer}, false, "", name, -1, 2, alias}, // changed during the first read
        {{recent}, false, "", name, -1, 4, name},                         // may change unseen
        {changing, false, "", name, -1, 4, name},
        {changing, true, "", name, -1, 2, alias},                     // watched: nothing changed
        {changing, true, "tmp.u8Kx3Zq0ab", name, -1, 2, alias},       // others come and go
        {changing, true, "Long File Name A.txt", name, -1, 2, alias}, // LONG~1KZ.TXT: no matter
        {changing, true, "LONG~5R1.TXT", name, -1, 4, name},          // one that holds the alias
        {changing, true, "long file name.TXT", name, -1, 4, name},    // one that shares it
        {changing, false, "tmp.u8Kx3Zq0ab", alias, -1, 1, alias},     // found by it: no count
        {changing, false, "tmp.u8Kx3Zq0ab", "C:\\Nothing Here.txt", -1, 4, ""},
        {{old},
         false,
         "Long File Name A.txt",
         "C:\\Other.txt\\..\\Other.txt",
         -1,
         0,
         "C:\\Other.txt\\..\\Other.txt"},
        {{recent}, false, "", "C:\\y.", -1, 1, ""},            // no alias: nothing to count
        {{recent}, false, "", name, 0, 2, "C:\\LONGFI~1.TXT"}, // its kept name
        {{recent}, false, "", name, 1, 3, "C:\\LONGFI~1.TXT"}, // a read that found it moved does not count
        {{recent}, false, "", "C:\\Line\nFeed Long.txt", 0, 1, ""}, // none kept, no Windows text
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
        dir.watchable = row.watchable;
        winpath::current_dir cwd("C:\\");
        char buf[64];
        const winpath::path_result r = winpath::short_path(row.path, cwd, dir, buf, sizeof buf);
        EXPECT_EQ(r.value ? buf : "", std::string(row.shown)) << row.path << ", " << row.flicker;
        EXPECT_EQ(dir.reads, row.reads) << row.path << ", " << row.flicker << ", " << row.kept;
    }
}

// Whether this process can watch a folder now: another program (another
// test run, as the same user) may hold every inotify instance.
bool can_watch()
{
    const int fd = inotify_init1(IN_CLOEXEC);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

// Through the real disk: a folder whose stamp can show a later change is
// read once; one stamped ahead of the clock (a stick written an hour east of
// UTC) cannot show one yet, and is read again, watched; where no watch can
// be had, four times, and the long name shows.
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
        // Where times come in whole seconds (qemu-user's fstat gives some
        // machines' programs no nanoseconds), a change this recent cannot
        // show yet either. The folder's times as the reader sees them:
        struct stat st;
        const int fd = open((dir_ + "/" + folder).c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(fstat(fd, &st), 0);
        close(fd);
        const int reads = st.st_ctim.tv_nsec != 0 && row.reads == 1 ? 1 : can_watch() ? 2 : 4;
        EXPECT_EQ(dirs.lists, reads) << row.seconds;
        EXPECT_STREQ(r.value ? buf : "",
                     ("C:\\" + folder + (reads < 4 ? "\\LONG~5R1.TXT" : "\\Long File Name.txt")).c_str());
    }
}

// A child process that can have no inotify instance, as where another
// program holds all of the user's: in a user namespace of its own whose
// limit is 0, so that other programs keep theirs. Where no namespace can
// be made (in a chroot), root runs it as user 65534 holding every instance
// of that user; anyone else holds all of their own. It is made before the
// test starts a thread (a child of a process with threads may find a lock
// held for ever), and runs `count` when told to; its status is what that
// returns (at most 100), -1 where it did not end so. The folder it reads
// must be open to all.
class unwatched {
  public:
    explicit unwatched(const std::function<int()> &count)
    {
        if (pipe(go_) != 0)
            return;
        fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(go_[1]);
            const bool ready = take_watches_away();
            char c;
            _exit(read(go_[0], &c, 1) != 1 || !ready ? 102 : can_watch() ? 101 : std::min(count(), 100));
        }
        close(go_[0]);
    }
    ~unwatched() { result(); }
    unwatched(const unwatched &) = delete;
    unwatched &operator=(const unwatched &) = delete;
    // Lets it run; what it returned.
    int result()
    {
        if (pid_ <= 0)
            return -1;
        int status = 0;
        (void)!write(go_[1], "x", 1);
        close(go_[1]);
        waitpid(std::exchange(pid_, 0), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    static bool put(const char *file, const std::string &text)
    {
        const int fd = open(file, O_WRONLY);
        const bool done = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        return done;
    }
    bool take_watches_away()
    {
        const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
        if (unshare(CLONE_NEWUSER) == 0 && put("/proc/self/setgroups", "deny") &&
            put("/proc/self/uid_map", uid + " " + uid + " 1") &&
            put("/proc/self/gid_map", gid + " " + gid + " 1") &&
            put("/proc/sys/user/max_inotify_instances", "0"))
            return true;
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return false;
        while (held_.size() < 100000) {
            const int fd = inotify_init1(IN_CLOEXEC);
            if (fd < 0)
                break;
            held_.push_back(fd);
        }
        return true;
    }

    int go_[2] = {-1, -1};
    pid_t pid_ = -1;
    std::vector<int> held_;
};

// A folder that changes while -s reads it, watched, and with no watch to
// be had. First a second thread renames IMG_1002.jpeg, whose alias is
// IMG_0118.jpeg's too, away and back: IMG_0118.jpeg shows as its alias
// only while the other is away, else as its long name, and is always
// found by the alias. Then, with 10,000 entries, a thread creates and
// removes temporary files as fast as it can, twenty at a time, whose
// aliases are none of those asked about: watched, every answer is the
// alias; unwatched, the alias or the long name. Never a failure.
TEST_F(ShortNames, AFolderThatChangesWhileItIsRead)
{
    for (int i = 0; i < 3000; i++)
        touch("Other Entry " + std::to_string(i));
    touch("IMG_0118.jpeg");
    touch("IMG_1002.jpeg");
    // The answers that are not right, of 200.
    const auto renamed = [this] {
        char buf[4096];
        int wrong = 0;
        for (int run = 0; run < 200; run++) {
            const bool by_alias = run % 2;
            const winpath::path_result r = shorten(by_alias ? "C:\\img_~4kz.jpe" : "C:\\IMG_0118.jpeg", buf);
            const std::string got = r.value ? buf : "";
            wrong += by_alias ? got != "C:\\img_~4kz.jpe"
                              : got != "C:\\IMG_0118.jpeg" && got != "C:\\IMG_~4KZ.JPE";
        }
        return wrong;
    };
    unwatched renamed_unwatched(renamed);
    std::atomic<bool> stop{false};
    std::thread renamer([&] {
        const std::string a = dir_ + "/IMG_1002.jpeg", c = dir_ + "/IMG_1002 away.jpeg";
        for (int i = 0; !stop; i++) {
            rename(i % 2 ? c.c_str() : a.c_str(), i % 2 ? a.c_str() : c.c_str());
            std::this_thread::sleep_for(std::chrono::microseconds(i % 4 * 400 + 100)); // now and then still
        }
    });
    EXPECT_EQ(renamed(), 0) << "watched";
    EXPECT_EQ(renamed_unwatched.result(), 0) << "with no watch";
    stop = true;
    renamer.join();

    for (int i = 3000; i < 10000; i++)
        touch("Other Entry " + std::to_string(i));
    touch("Long File Name Z.txt");
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/Deep Folder").c_str(), 0755), 0);
    touch("sub/Another Long Name.txt");
    touch("Deep Folder/x.txt");
    const struct {
        const char *path, *shown, *unwatched;
    } rows[] = {
        {"C:\\Long File Name Z.txt", "C:\\LONG~UG2.TXT", "C:\\Long File Name Z.txt"},
        {"C:\\sub\\Another Long Name.txt", "C:\\sub\\ANOT~3UA.TXT", "C:\\sub\\Another Long Name.txt"},
        {"C:\\Deep Folder\\x.txt", "C:\\DEEP~EIU\\x.txt", "C:\\Deep Folder\\x.txt"},
    };
    // The answers that are not right, of 90.
    const auto churned = [&](bool watched) {
        char buf[4096];
        int wrong = 0;
        for (int run = 0; run < 90; run++) {
            const auto &row = rows[run % 3];
            const winpath::path_result r = shorten(row.path, buf);
            const std::string got = r.value ? buf : "";
            wrong += got != row.shown && (watched || got != row.unwatched);
        }
        return wrong;
    };
    unwatched churned_unwatched([&] { return churned(false); });
    std::atomic<bool> churning{true};
    std::thread churn([&] {
        for (unsigned i = 0; churning; i++) {
            char name[32];
            snprintf(name, sizeof name, "/tmp.%08X%02u", i * 2654435761u, i % 100);
            touch(name);
            snprintf(name, sizeof name, "/tmp.%08X%02u", (i - 20) * 2654435761u, (i - 20) % 100);
            unlink((dir_ + name).c_str());
        }
    });
    // Watched where a watch can be had: another test run may hold them all.
    EXPECT_EQ(churned(can_watch()), 0) << "watched";
    EXPECT_EQ(churned_unwatched.result(), 0) << "with no watch";
    churning = false;
    churn.join();
}

} // namespace
