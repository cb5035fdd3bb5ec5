#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arglist.h"
#include "tarsel.h"

namespace {

struct parsed {
    bool ok;
    opts o;
};

parsed parse(std::vector<std::string> args)
{
    const arglist list(std::move(args));
    parsed p{false, {}};
    p.ok = read_command_line(list.argc(), list.argv(), p.o);
    return p;
}

TEST(CommandLine, OptionLetters)
{
    struct {
        std::vector<std::string> args;
        bool ok;
        unsigned parts;
        int sepmode;
        int shortform;
        const char *name;
    } rows[] = {
        {{}, false, 0, 0, 0, ""},
        {{"file"}, true, 7, SEP_BACKSLASH, 0, "file"},
        {{"-p", "file"}, true, PART_PATH, SEP_BACKSLASH, 0, "file"},
        {{"-pf/", "file"}, true, PART_PATH | PART_MAIN, SEP_SLASH, 0, "file"},
        {{"-p", "-f", "-p", "file"}, true, PART_PATH | PART_MAIN, SEP_BACKSLASH, 0, "file"},
        {{"-e", "file"}, true, PART_EXT, SEP_BACKSLASH, 0, "file"},
        {{"-c/", "file"}, true, 7, SEP_SLASH, 0, "file"}, // the last separator letter wins
        {{"-/\\", "file"}, true, 7, SEP_BACKSLASH, 0, "file"},
        {{"-\\", "-c", "file"}, true, 7, SEP_CYGNUS, 0, "file"},
        {{"-s", "file"}, true, 7, SEP_BACKSLASH, 1, "file"},
        {{"-d", "file"}, true, 7, SEP_BACKSLASH, 0, "file"},
        {{"-", "file"}, true, 7, SEP_BACKSLASH, 0, "file"},
        {{"-p"}, true, PART_PATH, SEP_BACKSLASH, 0, ""}, // no name: the empty name
        {{"-x", "file"}, false, 0, 0, 0, ""},
        {{"-P", "file"}, false, 0, 0, 0, ""}, // letters are case-sensitive
        {{"--", "file"}, false, 0, 0, 0, ""},
        {{"-p-f", "file"}, false, 0, 0, 0, ""},
        {{"-p\xE9", "file"}, false, 0, 0, 0, ""},
        {{"file", "-p"}, true, 7, SEP_BACKSLASH, 0, "file -p"}, // options end at the name
        {{"My", "Documents\\a.txt"}, true, 7, SEP_BACKSLASH, 0, "My Documents\\a.txt"},
        {{"", "file"}, true, 7, SEP_BACKSLASH, 0, " file"},
        {{"file", ""}, true, 7, SEP_BACKSLASH, 0, "file "},
    };
    for (const auto &row : rows) {
        const parsed p = parse(row.args);
        std::string shown;
        for (const auto &a : row.args)
            shown += "[" + a + "]";
        EXPECT_EQ(p.ok, row.ok) << shown;
        if (!row.ok || !p.ok)
            continue;
        EXPECT_EQ(p.o.parts, row.parts) << shown;
        EXPECT_EQ(p.o.sepmode, row.sepmode) << shown;
        EXPECT_EQ(p.o.shortform, row.shortform) << shown;
        EXPECT_STREQ(p.o.name, row.name) << shown;
    }
}

} // namespace
