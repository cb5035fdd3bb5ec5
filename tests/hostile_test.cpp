// Hostile command lines, run in process: answered as the program defines,
// with no crash, no access outside a buffer and no hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "arglist.h"
#include "tarsel.h"

namespace {

struct result {
    int status;
    std::string out, err;
};

std::string slurp(FILE *f)
{
    std::string s;
    rewind(f);
    for (int c; (c = fgetc(f)) != EOF;)
        s += static_cast<char>(c);
    return s;
}

// Runs tarsel with standard output and standard error sent to temporary files.
result run(std::vector<std::string> args)
{
    const arglist list(std::move(args));
    FILE *out = tmpfile(), *err = tmpfile();
    fflush(stdout);
    fflush(stderr);
    const int saved_out = dup(1), saved_err = dup(2);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    const int status = tarsel(list.argc(), list.argv());
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    result r{status, slurp(out), slurp(err)};
    fclose(out);
    fclose(err);
    return r;
}

void expect_status(const std::vector<std::string> &args, int status, const char *what)
{
    const result r = run(args);
    EXPECT_EQ(r.status, status) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_FALSE(r.err.empty()) << what;
}

// Exactly one line and status 0, or nothing on stdout, a message and a status.
void expect_answered(const std::vector<std::string> &args, const std::string &what)
{
    const result r = run(args);
    if (r.status == 0) {
        EXPECT_TRUE(r.err.empty()) << what;
        EXPECT_TRUE(!r.out.empty() && r.out.back() == '\n') << what;
    } else {
        EXPECT_EQ(r.out, "") << what;
        EXPECT_TRUE(!r.err.empty() && r.err.back() == '\n') << what;
    }
}

TEST(HostileCommandLines, HugeArgumentsAreCutThenRefused)
{
    expect_status({std::string(1 << 20, 'a')}, 111, "1 MiB argument");
    expect_status(std::vector<std::string>(100000, "a"), 111, "100,000 arguments");
    expect_status({"-s", std::string(1 << 20, 'a')}, 111, "1 MiB argument, short form");
    const result r = run({"-f", "C:\\" + std::string(1 << 20, 'b')});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(1020, 'b') + "\n");
}

TEST(HostileCommandLines, EveryByteInNames)
{
    for (int b = 1; b < 256; b++) {
        const std::string c(1, static_cast<char>(b));
        for (const std::string &name : {c, "C:\\x" + c + "y\\z" + c, c + c + "\\" + c})
            for (const char *opt : {"-c", "-pfe/", "-s"})
                expect_answered({opt, name}, "byte " + std::to_string(b) + " with " + opt);
    }
    std::string all;
    for (int b = 1; b < 256; b++)
        all += static_cast<char>(b);
    expect_answered({"-c", "C:\\" + all}, "every byte");
    expect_answered({"-s", all}, "every byte, short form");
}

TEST(HostileCommandLines, OnlySeparatorsOrDots)
{
    struct {
        const char *name;
        int status;
    } rows[] = {
        {"\\", 161},
        {"/", 161},
        {"\\\\", 161},
        {"////", 161},
        {"\\/\\/\\/\\/", 161},
        {"...", 161},
        {"....", 161},
        {". .", 161},
        {"\\\\.", 161},
        {"\\\\?", 161},
        {"C:", 161},
        {"Z:", 0},
        {".", 0},
        {"./.", 0},
    };
    for (const auto &row : rows) {
        const result r = run({row.name});
        EXPECT_EQ(r.status, row.status) << row.name;
        EXPECT_EQ(r.out.empty(), row.status != 0) << row.name;
    }
}

} // namespace
