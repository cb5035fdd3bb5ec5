#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tempdir.h"
#include "tsv.h"
#include "winpath.h"

namespace {

struct outcome {
    DWORD value;
    DWORD error;
    std::string path;
    long filepart; // -1 for none
};

outcome resolve(const std::string &cwd_text, const std::string &name, DWORD size = 70000)
{
    winpath::current_dir cwd(cwd_text);
    std::vector<char> buf(size + 1, '#');
    char *filepart = buf.data() - 1; // must be overwritten on success
    const winpath::path_result r = winpath::full_path(name.c_str(), cwd, buf.data(), size, &filepart);
    outcome o{r.value, r.error, {}, -2};
    if (r.value != 0 && r.value < size) {
        o.path = buf.data();
        o.filepart = filepart ? filepart - buf.data() : -1;
    }
    return o;
}

class FullPathVectors : public testing::TestWithParam<vector_row> {};

TEST_P(FullPathVectors, GivesWhatWindowsGives)
{
    const vector_row &r = GetParam();
    std::string name = r.input;
    DWORD size = 70000;
    if (name.rfind("buf=", 0) == 0) {
        const size_t colon = name.find(':');
        size = std::stoul(name.substr(4, colon - 4));
        name = name.substr(colon + 1);
    }
    const outcome o = resolve(r.cwd, name, size);
    if (r.expected.rfind("ERROR:", 0) == 0) {
        EXPECT_EQ(o.value, 0u);
        EXPECT_EQ(o.error, std::stoul(r.expected.substr(6)));
    } else if (r.expected.rfind("RET:", 0) == 0) {
        EXPECT_EQ(o.value, std::stoul(r.expected.substr(4)));
    } else {
        EXPECT_EQ(o.path, r.expected);
        EXPECT_EQ(o.value, r.expected.size());
        EXPECT_EQ(o.filepart, r.filepart == "-" ? -1 : std::stol(r.filepart));
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, FullPathVectors, testing::ValuesIn(read_vectors("fullpath.tsv", "")),
                         [](const auto &info) { return row_name(info.param.line); });

std::vector<vector_row> drive_results()
{
    std::vector<vector_row> rows;
    for (const vector_row &r : read_vectors("fullpath.tsv", ""))
        if (r.input.rfind("buf=", 0) != 0 && r.expected.size() >= 3 && r.expected[1] == ':')
            rows.push_back(r);
    return rows;
}

class DriveResults : public testing::TestWithParam<vector_row> {};

// A drive path that came out of the resolution resolves to itself, but for
// one Windows quirk: a last component "NUL.:." comes out as "NUL.:", which
// names the device NUL.
TEST_P(DriveResults, ResolveToThemselves)
{
    const vector_row &r = GetParam();
    const outcome again = resolve(r.cwd, r.expected);
    const std::string leaf = r.expected.substr(r.expected.find_last_of('\\') + 1);
    if (again.path == "\\\\.\\" + leaf.substr(0, 3))
        EXPECT_EQ(leaf.find_first_not_of(".:", 3), std::string::npos) << leaf;
    else
        EXPECT_EQ(again.path, r.expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, DriveResults, testing::ValuesIn(drive_results()),
                         [](const auto &info) { return row_name(info.param.line); });

// The path buffers' text fills its array to the byte before the NUL, and
// stays terminated in storage that held other bytes before.
TEST(FixedText, FillsToItsLastByte)
{
    alignas(winpath::fixed_text<8>) unsigned char storage[sizeof(winpath::fixed_text<8>)];
    memset(storage, 'x', sizeof storage);
    auto *text = new (storage) winpath::fixed_text<8>;
    EXPECT_TRUE(text->append("abc"));
    EXPECT_STREQ(text->c_str(), "abc");
    EXPECT_TRUE(text->append("defg"));
    EXPECT_STREQ(text->c_str(), "abcdefg");
    EXPECT_FALSE(text->append('h'));
    EXPECT_STREQ(text->c_str(), "abcdefg");
}

TEST(FullPathLimits, ResultsPastTheLongPathLimitFail)
{
    const std::string deep = "C:\\" + std::string(32000, 'd');
    struct {
        std::string cwd, name;
        DWORD error;
    } rows[] = {
        {"C:\\", "C:\\" + std::string(32764, 'a'), 0}, // 32767 characters: the limit
        {"C:\\", "C:\\" + std::string(32765, 'a'), 206},
        {"C:\\", std::string(40000, 'a'), 206}, // the name alone is too long
        {deep, std::string(763, 'n'), 0},
        {deep, std::string(764, 'n'), 206},         // current directory + name
        {deep, "..\\" + std::string(767, 'n'), 0},  // ".." keeps the result short
        {"C:\\", std::string(4000, '\\') + "x", 0}, // separators collapse
    };
    for (const auto &row : rows) {
        const outcome o = resolve(row.cwd, row.name);
        EXPECT_EQ(o.value == 0 ? o.error : 0, row.error) << row.name.size() << " after " << row.cwd.size();
    }
}

// The process view: "/" is drive Z:, the working directory its current directory.
class ProcessView : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        dir_ = temp_dir("ts");
        ASSERT_NE(dir_, "");
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        win_ = "Z:" + dir_;
        for (char &c : win_)
            if (c == '/')
                c = '\\';
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(saved_), 0);
        EXPECT_TRUE(remove_tree(dir_));
    }
    std::string full(const char *name, DWORD *error)
    {
        char buf[1024];
        char *part = nullptr;
        SetLastError(0);
        const DWORD n = GetFullPathNameA(name, sizeof buf, buf, &part);
        *error = GetLastError();
        return n ? std::string(buf) : std::string();
    }

    char saved_[4096];
    std::string dir_, win_;
};

TEST_F(ProcessView, NamesResolveOnDriveZ)
{
    DWORD error = 0;
    EXPECT_EQ(full("report.txt", &error), win_ + "\\report.txt");
    EXPECT_EQ(full("..\\x.txt", &error), win_.substr(0, win_.rfind('\\')) + "\\x.txt");
    EXPECT_EQ(full("/", &error), "Z:\\");
    EXPECT_EQ(full("z:", &error), win_);
    EXPECT_EQ(full("C:", &error), "C:\\");
    EXPECT_EQ(full("\\etc\\passwd", &error), "Z:\\etc\\passwd");
}

// A working directory that cannot be read fails only the names that need it:
// one deleted, and one longer than the longest result.
TEST_F(ProcessView, UnreadableWorkingDirectoryFailsOnlyNamesThatNeedIt)
{
    const std::string step(250, 'd');
    struct {
        const char *how;
        bool deleted;
        DWORD error;
    } rows[] = {{"deleted", true, 3}, {"too deep", false, 206}};
    for (const auto &row : rows) {
        const std::string sub = dir_ + "/" + row.how;
        ASSERT_TRUE(mkdir(sub.c_str(), 0755) == 0 && chdir(sub.c_str()) == 0);
        if (row.deleted) {
            ASSERT_EQ(rmdir(sub.c_str()), 0);
        }
        for (size_t depth = sub.size(); !row.deleted && depth <= winpath::MAX_CHARS; depth += step.size() + 1)
            ASSERT_TRUE(mkdir(step.c_str(), 0755) == 0 && chdir(step.c_str()) == 0);
        DWORD error = 0;
        EXPECT_EQ(full("report.txt", &error), "") << row.how;
        EXPECT_EQ(error, row.error) << row.how;
        EXPECT_EQ(full("C:\\boot.ini", &error), "C:\\boot.ini") << row.how;
        EXPECT_EQ(full("\\x", &error), "Z:\\x") << row.how;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
}

} // namespace
