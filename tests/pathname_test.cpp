#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pathname.h"

namespace {

TEST(Separators, ShiftJisLeadBytes)
{
    struct {
        int byte;
        int lead;
    } rows[] = {
        {0x00, 0},
        {0x5C, 0},
        {0x7F, 0},
        {0x80, 0},
        {0x81, 1},
        {0x9F, 1},
        {0xA0, 0},
        {0xDF, 0},
        {0xE0, 1},
        {0xE9, 1},
        {0xFC, 1},
        {0xFD, 0},
        {0xFF, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(iskanji(row.byte), row.lead) << std::hex << row.byte;
}

TEST(Separators, BackslashToSlash)
{
    struct {
        std::string in, out;
    } rows[] = {
        {"", ""},
        {"\\", "/"}, // the first byte has no lead byte before it
        {"a\\b\\\\c", "a/b//c"},
        {"caf\xE9\\sub", "caf\xE9\\sub"}, // é (0xE9) is in a lead-byte range
        {"\x83\x81\\x", "\x83\x81\\x"},   // one byte back, not characters
        {"\x83\x40\\x", "\x83\x40/x"},
        {"\xA0\\\xDF\\\xFD\\", "\xA0/\xDF/\xFD/"},
        {"\x81\\\\", "\x81\\/"},
    };
    for (const auto &row : rows) {
        std::string s = row.in;
        bstos(s.data());
        EXPECT_EQ(s, row.out);
    }
}

} // namespace

namespace {

// Only "X:" and a separator before the last component can be split; the
// split writes just before the file part, which must lie inside the path.
TEST(Split, NeedsADriveAndALastComponent)
{
    struct {
        const char *path;
        long filepart; // -1 for none
        bool ok;
    } rows[] = {
        {"C:\\x.txt", 3, true},
        {"C:\\dir\\x.txt", 7, true},
        {"C:\\", -1, false},
        {"C:x", 2, false}, // no separator of its own before the file part
        {"C:", 2, false},
        {"\\\\srv\\share\\x", 12, false},
        {"\\\\.\\C:\\x", 7, false},
        {"1:\\x", 3, true},  // the drive letter is not examined
        {"C:\\x", 5, false}, // past the end
    };
    for (const auto &row : rows) {
        const size_t len = strlen(row.path);
        const char *part = row.filepart < 0 ? nullptr : row.path + row.filepart;
        EXPECT_EQ(splittable(row.path, len, part), row.ok) << row.path;
    }
}

} // namespace
