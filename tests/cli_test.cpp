// The command-line table: arguments in; standard output, standard error and
// exit status out, run against a built program. TARSEL_CMD is the command
// that starts it (split at spaces, e.g. "/usr/lib/wine/wine64 tarsel.exe");
// TARSEL_WINE=1 selects Wine's answers where Wine differs from Windows 11;
// TARSEL_CODEPAGE=932 runs the code page 932 table instead, under Wine in
// the locale ja_JP.UTF-8 (Japanese Windows).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tempdir.h"

namespace {

struct expect {
    std::string out;
    std::string err;
    int status;
};

struct row {
    const char *what;
    std::vector<std::string> args;
    expect native;
    std::optional<expect> wine = std::nullopt; // Wine's answer, where it differs
    std::vector<std::string> env = {};         // the locale the program runs in natively
};

const std::string USAGE = "TARSEL.EXE Version 1.01  prints the full path of a file name, or parts of it\n"
                          "Usage : TARSEL -[pfe\\/cs] filename\n"
                          "Options\n"
                          "    p : path name.\n"
                          "    f : main part of file name.\n"
                          "    e : extension of file name.\n"
                          "    \\ : set directory separator to '\\'(default).\n"
                          "    / : set directory separator to '/'.\n"
                          "    c : cygnus.\n"
                          "    s : display short path name.\n";
// The system's texts, by code: Windows 11's (the POSIX emulation's) and Wine 8's.
struct message {
    int code;
    const char *windows;
    const char *wine;
};
const message MESSAGES[] = {
    {2, "The system cannot find the file specified.\n", "File not found.\n"},
    {3, "The system cannot find the path specified.\n", "Path not found.\n"},
    {4, "The system cannot open the file.\n", "Too many open files.\n"},
    {87, "The parameter is incorrect.\n", "Invalid parameter.\n"},
    {111, "The file name is too long.\n", "Buffer overflow.\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\n", "Invalid name.\n"},
    {161, "The specified path is invalid.\n", "Path is invalid.\n"},
    {206, "The filename or extension is too long.\n", "File name is too long.\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\n", "Error code=223\n"},
    {6, "The handle is invalid.\n", "Invalid handle.\n"},
    {112, "There is not enough space on the disk.\n", "Disk full.\n"},
    {109, "The pipe has been ended.\n", "Broken pipe.\n"},
    {1921, "The name of the file cannot be resolved by the system.\n", "The filename cannot be resolved.\n"},
};

bool under_wine() { return getenv("TARSEL_WINE") != nullptr; }
bool cp932()
{
    const char *cp = getenv("TARSEL_CODEPAGE");
    return cp && strcmp(cp, "932") == 0;
}

expect ok(const std::string &line) { return {line + "\n", "", 0}; }
expect usage() { return {"", USAGE, -1}; }
expect fails(int code)
{
    for (const message &m : MESSAGES)
        if (m.code == code)
            return {"", under_wine() ? m.wine : m.windows, code};
    return {"", "Error code=" + std::to_string(code) + "\n", code};
}

const std::string PF = "C:\\Program Files\\Sub Dir\\report.final.txt";

// {D} is the directory the program runs in, {P} its parent, both as Windows
// names; {D/} and {P/} with slashes; {Dc} in the //Z form. An argument
// "{-s NAME}" is the line that the program prints for -s NAME.
const std::vector<row> TABLE = {
    // The worked results.
    {"whole path", {PF}, ok(PF)},
    {"path", {"-p", PF}, ok("C:\\Program Files\\Sub Dir")},
    {"main part", {"-f", PF}, ok("report.final")},
    {"extension", {"-e", PF}, ok("txt")},
    {"main part and extension", {"-fe", PF}, ok("report.final.txt")},
    {"path and main part", {"-pf", PF}, ok("C:\\Program Files\\Sub Dir\\report.final")},
    {"path and extension", {"-pe", PF}, ok("C:\\Program Files\\Sub Dirtxt")},
    {"slashes", {"-/", PF}, ok("C:/Program Files/Sub Dir/report.final.txt")},
    {"cygnus", {"-c", PF}, ok("//C/Program Files/Sub Dir/report.final.txt")},
    {"cygnus path", {"-cp", PF}, ok("//C/Program Files/Sub Dir")},
    // A file in the root.
    {"root file", {"C:\\boot.ini"}, ok("C:\\boot.ini")},
    {"root path", {"-p", "C:\\boot.ini"}, ok("C:")},
    {"root path and extension", {"-pe", "C:\\boot.ini"}, ok("C:ini")},
    {"root cygnus", {"-c", "C:\\boot.ini"}, ok("//C/boot.ini")},
    {"root cygnus path", {"-cp", "C:\\boot.ini"}, ok("//C")},
    {"root cygnus path and extension", {"-cpe", "C:\\boot.ini"}, ok("//Cini")},
    {"root slashes", {"-/", "c:/boot.ini"}, ok("c:/boot.ini")},
    // No extension, dot files, several dots.
    {"no extension", {"C:\\dir\\README"}, ok("C:\\dir\\README.")},
    {"no extension, main part", {"-f", "C:\\dir\\README"}, ok("README")},
    {"no extension, extension", {"-e", "C:\\dir\\README"}, ok("")},
    {"dot file", {"C:\\home\\.profile"}, ok("C:\\home\\.profile.")},
    {"dot file, extension", {"-e", "C:\\home\\.profile"}, ok("")},
    {"dot file with extension", {"-fe", "C:\\home\\.vimrc.bak"}, ok(".vimrc.bak")},
    {"several dots, main part", {"-f", "C:\\x\\a.b.c"}, ok("a.b")},
    {"several dots, extension", {"-e", "C:\\x\\a.b.c"}, ok("c")},
    {"trailing dots go", {"C:\\x\\name.txt..."}, ok("C:\\x\\name.txt")},
    // Trailing dots and spaces go after "." and ".." are evaluated.
    {"trimmed after dot", {"C:\\docs\\draft \\."}, ok("C:\\docs\\draft.")},
    {"trimmed after dot dot", {"-f", "C:\\a\\b  .\\..\\c \\."}, ok("c")},
    {"trimmed to the root", {"C:\\ \\."}, fails(161)},
    {"relative, trimmed after dot", {"-f", "notes  .\\."}, ok("notes")},
    // Options.
    {"d does nothing", {"-d", "C:\\x\\a.txt"}, ok("C:\\x\\a.txt")},
    {"dash alone", {"-", "C:\\x\\a.txt"}, ok("C:\\x\\a.txt")},
    {"last separator wins", {"-/\\", "C:\\x\\y\\a.txt"}, ok("C:\\x\\y\\a.txt")},
    {"backslash then cygnus", {"-\\", "-c", "C:\\x\\y\\a.txt"}, ok("//C/x/y/a.txt")},
    {"options end at the name", {"C:\\x\\file", "-p"}, ok("C:\\x\\file -p.")},
    {"arguments joined", {"-f", "C:\\My", "Documents\\a.txt"}, ok("a")},
    {"arguments joined, path", {"-p", "C:\\My", "Documents\\a.txt"}, ok("C:\\My Documents")},
    // Relative names, in the POSIX view of drive Z:.
    {"relative path", {"-p", "report.txt"}, ok("{D}")},
    {"relative whole", {"report.txt"}, ok("{D}\\report.txt")},
    {"parent, slashes", {"-/", "..\\x.txt"}, ok("{P/}/x.txt")},
    {"rooted", {"\\x\\y.txt"}, ok("Z:\\x\\y.txt")},
    {"current drive", {"-c", "z:report.txt"}, ok("{Dc}/report.txt")},
    {"other drive", {"d:x.txt"}, ok("D:\\x.txt"), ok("d:\\x.txt")}, // Wine keeps the letter's case
    // High bytes: the Shift JIS guard looks one byte back.
    {"western", {"-/", "C:\\caf\xE9\\sub\\x.txt"}, ok("C:/caf\xE9\\sub/x.txt")},
    {"shift jis", {"-c", "C:\\\x95\\\\sub\\y.txt"}, ok("//C/\x95\\sub/y.txt")},
    {"no lead byte", {"-/", "C:\\\xA0\\\xDF\\z"}, ok("C:/\xA0/\xDF/z.")},
    // In UTF-8, "т" ends in 0x82, a lead byte: the backslash after it stays.
    {"utf-8 ending in a lead byte", {"-/", "C:\\кот\\sub\\x.txt"}, ok("C:/кот\\sub/x.txt")},
    // Network and device paths, and paths without a last component.
    {"network path", {"\\\\server\\share\\x.txt"}, fails(161)},
    {"device", {"nul"}, fails(161)},
    {"device behind a directory",
     {"-p", "C:\\x\\NUL.txt"},
     ok("C:\\x"),
     fails(161)}, // Wine: Windows 10 devices
    {"device path", {"\\\\.\\C:\\x.txt"}, fails(161)},
    {"root", {"C:\\"}, fails(161)},
    {"trailing separator", {"C:\\x\\"}, fails(161)},
    {"only dots", {"C:\\x\\..."}, fails(161)},
    // Failures of the resolution itself.
    {"empty name", {"-p"}, fails(123)},
    {"spaces", {"-p", "   "}, fails(123)},
    // Long names: 1023 bytes are kept, the rest cut.
    // Wine stops every result at 260 characters.
    {"1023 bytes", {"-f", "C:\\" + std::string(1020, 'a')}, ok(std::string(1020, 'a')), fails(206)},
    {"1024 bytes",
     {"-f", "C:\\" + std::string(1019, 'a') + "bc"},
     ok(std::string(1019, 'a') + "b"),
     fails(206)},
    {"2000 bytes", {"-e", "C:\\a." + std::string(1996, 'x')}, ok(std::string(1018, 'x')), fails(206)},
    {"1022 and 5 bytes",
     {"-f", "C:\\" + std::string(1019, 'a'), "bbbbb"},
     ok(std::string(1019, 'a')),
     fails(206)},
    {"result too long", {std::string(1023, 'r')}, fails(111), fails(206)},
    // The usage text.
    {"no arguments", {}, usage()},
    {"unknown letter", {"-x", "file"}, usage()},
    {"upper case", {"-P", "file"}, usage()},
    {"double dash", {"--", "file"}, usage()},
    {"dash among letters", {"-p-f", "file"}, usage()},
    // Short names, in a directory the test builds: Wine's aliases, natively
    // too. Wine answers 2 for every failure on the way.
    {"short, legal names", {"-s", "report.txt"}, ok("{D}\\report.txt")},
    {"short alias", {"-sfe", "Long File Name.txt"}, ok("LONG~5R1.TXT")},
    {"short directory", {"-s", "Long Directory\\inner file.txt"}, ok("{D}\\LONG~LWP\\INNE~25I.TXT")},
    {"short, cygnus", {"-sc", "Long Directory"}, ok("{Dc}/LONG~LWP.")},
    // An alias two entries share leads Wine to the first listed: natively,
    // the long name shows.
    {"short, an alias two entries share", {"-sfe", "IMG_1002.jpeg"}, ok("IMG_1002.jpeg"), ok("IMG_~4KZ.JPE")},
    {"short, missing file", {"-s", "missing.txt"}, fails(2)},
    {"short, missing directory", {"-s", "nodir\\x.txt"}, fails(3), fails(2)},
    {"short, other drive", {"-s", "Q:\\x.txt"}, fails(3), fails(2)},
    {"short, link loop on the way", {"-s", "loop\\x"}, fails(1921), fails(2)},
    {"short, link loop", {"-s", "loop"}, fails(1921), fails(2)},
    {"short, file as directory", {"-s", "report.txt\\x"}, fails(3), fails(2)},
    // Short names are found on the way, so -s of its own line prints that line.
    {"short, round trip", {"-s", "{-s Long Directory\\inner file.txt}"}, ok("{D}\\LONG~LWP\\INNE~25I.TXT")},
    {"short, round trip of a shared alias",
     {"-sfe", "{-s IMG_0118.jpeg}"},
     ok("IMG_0118.jpeg"),
     ok("IMG_~4KZ.JPE")},
    {"short alias, missing file", {"-s", "LONG~LWP\\missing.txt"}, fails(2)},
    {"short alias, missing directory", {"-s", "long~lwp\\nodir\\x.txt"}, fails(3), fails(2)},
    {"short, no such alias on the way", {"-s", "NOSUCH~1\\x.txt"}, fails(3), fails(2)},
    {"short, no such alias", {"-s", "NOSUCH~1"}, fails(2)},
    // Two entries equal but for case: the first in byte order is found.
    {"short, names equal but for case",
     {"-s", "MIXED\\upper.txt"},
     ok("{D}\\MIXED\\upper.txt"),
     ok("{D}\\Mixed\\upper.txt")}, // Wine prints the case on disk
    {"short, the other of two names equal but for case", {"-s", "MIXED\\lower.txt"}, fails(2)},
    // A line feed is in no legal 8.3 name, but Wine takes "a\nb" for one
    // and looks for no alias: natively, no line names it.
    {"short, line feed in a name", {"-sfe", "line\nfeed"}, ok("LINE~EJD.")},
    {"short, line feed in a short name", {"-sfe", "a\nb"}, fails(123), ok("a\nb.")},
    // Without -s a name is printed as it stands, line feed and all.
    {"line feed in a name", {"-f", "C:\\x\\a\nb.txt"}, ok("a\nb")},
    // Messages in the user's language, from the locale (natively; under Wine
    // the locale is C.UTF-8): in UTF-8 only, English for a code without a
    // text in that language and under LC_ALL=C.
    {"japanese",
     {"-s", "missing.txt"},
     {"", "指定されたファイルが見つかりません。\n", 2},
     fails(2),
     {"LANG=ja_JP.UTF-8"}},
    {"japanese 161", {"nul"}, {"", "指定されたパスは無効です。\n", 161}, fails(161), {"LANG=ja_JP.UTF-8"}},
    {"japanese, no text", {"-s", "loop"}, fails(1921), fails(2), {"LANG=ja_JP.UTF-8"}},
    {"LC_ALL=C first", {"-s", "missing.txt"}, fails(2), fails(2), {"LC_ALL=C", "LANG=ja_JP.UTF-8"}},
    {"german from LC_MESSAGES",
     {"-s", "missing.txt"},
     {"", "Das System kann die angegebene Datei nicht finden.\n", 2},
     fails(2),
     {"LC_MESSAGES=de_DE.UTF-8", "LANG=fr_FR.UTF-8"}},
    {"not in UTF-8", {"-s", "missing.txt"}, fails(2), fails(2), {"LANG=ja_JP.eucJP"}},
    {"french apostrophe",
     {"-s", "nodir\\x.txt"},
     {"",
      "Le chemin d\xE2\x80\x99"
      "accès spécifié est introuvable.\n",
      3},
     fails(2),
     {"LC_ALL=", "LANG=fr_FR.UTF-8"}},
    {"chinese", {"-s", "missing.txt"}, {"", "系统找不到指定的文件。\n", 2}, fails(2), {"LANG=zh_CN.UTF-8"}},
    {"traditional chinese", {"-s", "missing.txt"}, fails(2), fails(2), {"LANG=zh_TW.UTF-8"}},
    // Devices and other drives under -s: the short form fails first.
    {"short, device", {"-s", "nul"}, fails(87), fails(2)},
    {"short, another drive's root", {"-s", "C:\\"}, fails(3), fails(161)}, // Wine has a C:
    {"short, another drive", {"-s", "D:\\x"}, fails(3), fails(2)},
};

std::string windows_form(std::string posix)
{
    for (char &c : posix)
        if (c == '/')
            c = '\\';
    return "Z:" + posix;
}

std::string replace_all(std::string s, const std::string &from, const std::string &to)
{
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

std::string slashes(std::string s)
{
    for (char &c : s)
        if (c == '\\')
            c = '/';
    return s;
}

// `s` converted between character sets, or a note of what failed.
std::string convert(const std::string &s, const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string("(no converter to ") + to + ")";
    std::string out(4 * s.size() + 4, '\0');
    char *in = const_cast<char *>(s.data()), *o = out.data();
    size_t in_left = s.size(), out_left = out.size();
    const size_t done = iconv(cd, &in, &in_left, &o, &out_left);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1))
        return "(not " + std::string(from) + ": " + s + ")";
    out.resize(out.size() - out_left);
    return out;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CommandLineTable : public testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        base_ = temp_dir("ts"); // 8.3-legal, so short forms of it are itself
        ASSERT_NE(base_, "");
        dir_ = base_ + "/work";
        for (const char *d : {"", "/Long Directory", "/Mixed", "/mixed"})
            ASSERT_EQ(mkdir((dir_ + d).c_str(), 0755), 0);
        for (const char *f : {"/report.txt",
                              "/Long File Name.txt",
                              "/Long Directory/inner file.txt",
                              "/Mixed/upper.txt",
                              "/mixed/lower.txt",
                              "/line\nfeed",
                              "/a\nb"})
            close(open((dir_ + f).c_str(), O_CREAT | O_WRONLY, 0644));
        for (const char *f : {"/IMG_0118.jpeg", "/IMG_1002.jpeg"}) // IMG_~4KZ.JPE, both
            close(open((dir_ + f).c_str(), O_CREAT | O_WRONLY, 0644));
        ASSERT_EQ(symlink("loop", (dir_ + "/loop").c_str()), 0);
        ASSERT_EQ(symlink(".", (dir_ + "/self").c_str()), 0);
    }
    static void TearDownTestSuite() { EXPECT_TRUE(remove_tree(base_)); }

    static std::string expand(const std::string &s)
    {
        const std::string d = windows_form(dir_), p = windows_form(base_);
        std::string out = replace_all(s, "{D/}", slashes(d));
        out = replace_all(out, "{P/}", slashes(p));
        out = replace_all(out, "{Dc}", "//Z" + slashes(d.substr(2)));
        out = replace_all(out, "{D}", d);
        return replace_all(out, "{P}", p);
    }

    static std::vector<std::string> command()
    {
        const char *cmd = getenv("TARSEL_CMD");
        std::vector<std::string> words;
        std::istringstream split(cmd ? cmd : "");
        for (std::string w; split >> w;)
            words.push_back(w);
        return words;
    }

    // Another user runs `program` (a copy of the command's last word) in `dir`.
    struct other_user {
        std::string program, dir;
    };

    // Runs the program in dir_, output captured through files: Wine's helper
    // processes would hold a pipe open.
    // `out_to` sends standard output elsewhere: a path, or "" to close it.
    static expect run(const std::vector<std::string> &args, const char *out_to = nullptr,
                      const other_user *as = nullptr)
    {
        std::vector<std::string> words = command();
        if (as)
            words.back() = as->program;
        for (const std::string &a : args) {
            std::string w = expand(a);
            if (w.rfind("{-s ", 0) == 0 && w.back() == '}') {
                w = run({"-s", w.substr(4, w.size() - 5)}).out;
                w = w.substr(0, w.find('\n'));
            }
            // Wine reads arguments in the locale's UTF-8 and hands them to the
            // program in its code page: 1252, the bytes the table holds, or
            // 932, whose table is written in UTF-8.
            words.push_back(under_wine() && !cp932() ? convert(w, "UTF-8", "CP1252") : w);
        }
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);

        // Wine now and then fails to start a program: a failure with nothing on
        // either stream, which tarsel never ends with. Such a run is made again.
        expect got;
        for (int attempt = 0; attempt < 3; attempt++) {
            got = run_once(argv, out_to, as);
            if (!under_wine() || got.status == 0 || !got.out.empty() || !got.err.empty())
                break;
        }
        if (under_wine()) { // the runtime writes CR LF, and system texts end in CR LF
            got.out = replace_all(got.out, "\r\n", "\n");
            got.err = replace_all(replace_all(got.err, "\r\n", "\n"), "\r\n", "\n");
        }
        return got;
    }

    static expect run_once(std::vector<char *> &argv, const char *out_to, const other_user *as)
    {
        const std::string out = base_ + "/stdout", err = base_ + "/stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            if (under_wine()) {
                setenv("LC_ALL", cp932() ? "ja_JP.UTF-8" : "C.UTF-8", 1);
                unsetenv("TMPDIR"); // Wine 10 aborts where it is set
            } else {                // the locale is the row's: English where it gives none
                for (const char *v : {"LC_ALL", "LC_MESSAGES", "LANG"})
                    unsetenv(v);
                for (const std::string &v : env_)
                    putenv(const_cast<char *>(v.c_str()));
            }
            const bool file = out_to && *out_to && strcmp(out_to, "|") != 0;
            const int o = open(file ? out_to : out.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            const int e = open(err.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 ||
                chdir((as ? as->dir : dir_).c_str()) != 0)
                _exit(250);
            close(o);
            close(e);
            if (out_to && !*out_to)
                close(1);
            int ends[2];
            if (out_to && strcmp(out_to, "|") == 0) { // a pipe no one reads, its signal ignored
                if (pipe(ends) != 0 || dup2(ends[1], 1) < 0)
                    _exit(250);
                close(ends[0]);
                close(ends[1]);
                signal(SIGPIPE, SIG_IGN);
            }
            // Permissions bind only those who are not root.
            if (as && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(NO_OTHER_USER);
            if (as) // a folder the other user can write to (valgrind's files)
                setenv("TMPDIR", "/tmp", 1);
            if (limit_.resource >= 0) {
                const rlimit l{limit_.value, limit_.value};
                for (int fd = 3; fd < 1024; fd++) // what the test runner left open
                    close(fd);
                signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
                if (setrlimit(limit_.resource, &l) != 0)
                    _exit(CANNOT_START);
            }
            execv(argv[0], argv.data());
            fprintf(stderr, "cannot start %s: %s\n", argv[0], strerror(errno));
            _exit(CANNOT_START);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {
            out_to ? "" : read_file(out), read_file(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1000};
    }

    static void check(const row &r, const char *out_to = nullptr)
    {
        const expect &e = under_wine() && r.wine ? *r.wine : r.native;
        env_ = r.env;
        const expect got = run(r.args, out_to);
        env_.clear();
        EXPECT_EQ(got.out, expand(e.out)) << r.what;
        EXPECT_EQ(got.err, expand(e.err)) << r.what;
        EXPECT_EQ(got.status, e.status & 0xFF) << r.what; // statuses wrap to 0..255
    }

    static constexpr int CANNOT_START = 251, NO_OTHER_USER = 252;
    static std::string base_, dir_;
    static std::vector<std::string> env_; // the row's locale
    // A limit that the next runs start under (resource -1: none).
    struct limit {
        int resource;
        rlim_t value;
    };
    static limit limit_;
};

std::string CommandLineTable::base_, CommandLineTable::dir_;
std::vector<std::string> CommandLineTable::env_;
CommandLineTable::limit CommandLineTable::limit_{-1, 0};

TEST_F(CommandLineTable, EveryRow)
{
    ASSERT_NE(getenv("TARSEL_CMD"), nullptr) << "TARSEL_CMD names the program to run";
    const expect probe = run({"x"});
    ASSERT_NE(probe.status, CANNOT_START) << probe.err << "A program for another machine needs its emulator "
                                          << "registered with binfmt_misc (scripts/setup-debian does that).";
    for (const row &r : TABLE)
        check(r);
}

// Results of exactly 1023 bytes fit the 1024-byte buffer; 1024 do not.
TEST_F(CommandLineTable, ResultLengthAtTheBuffer)
{
    const size_t room = 1023 - windows_form(dir_).size() - 1; // name length for a 1023-byte result
    check({"1023-byte result", {"-f", std::string(room, 'n')}, ok(std::string(room, 'n')), fails(206)});
    check({"1024-byte result", {"-f", std::string(room + 1, 'n')}, fails(111), fails(206)});
}

} // namespace

namespace {

// A line that never reached standard output is a failure, never status 0.
TEST_F(CommandLineTable, LostOutputIsAFailure)
{
    check({"disk full", {"-p", "report.txt"}, fails(112)}, "/dev/full");
    check({"closed", {"-p", "report.txt"}, fails(6)}, "");
    if (!under_wine()) // Windows has no such signal to ignore
        check({"a pipe no one reads", {"-p", "report.txt"}, fails(109)}, "|");
    check({"usage, disk full", {"-x"}, usage()}, "/dev/full");
}

// Limits of the process: -s with no file handle left to open, and a line
// written past the file size limit.
TEST_F(CommandLineTable, LimitsOfTheProcess)
{
    if (command().size() > 1)
        GTEST_SKIP() << "the limits would bind Wine or valgrind as well";
    // -s holds a handle for each directory it goes into: "self" is a link
    // to the folder it is in, so this path goes in twenty times.
    std::string deep;
    for (int i = 0; i < 20; i++)
        deep += "self\\";
    limit_ = {RLIMIT_NOFILE, 8}; // room for the loader's and the sanitizers' own
    check({"too many open files", {"-s", deep + "report.txt"}, fails(4)});
    limit_ = {RLIMIT_FSIZE, 100}; // room for the message, not for the line
    check({"file size limit", {"-f", std::string(200, 'x')}, fails(223)}, (base_ + "/limited").c_str());
    limit_ = {-1, 0};
}

// The other user must reach the program and the folder, wherever the build
// and the test's own folder are: both go into /tmp.
TEST_F(CommandLineTable, PermissionRefusedUnderShortForm)
{
    if (under_wine())
        GTEST_SKIP() << "the Wine prefix is root's";
    const std::string fixture = temp_dir("ts", "/tmp");
    ASSERT_NE(fixture, "");
    const other_user as{fixture + "/tarsel", fixture};
    ASSERT_EQ(std::system(("cp '" + command().back() + "' " + as.program).c_str()), 0);
    ASSERT_EQ(mkdir((as.dir + "/locked").c_str(), 0), 0);
    const expect got = run({"-s", "locked\\x.txt"}, nullptr, &as);
    EXPECT_TRUE(remove_tree(as.dir));
    if (got.status == NO_OTHER_USER)
        GTEST_SKIP() << "cannot run as user 65534";
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "Access is denied.\n");
    EXPECT_EQ(got.status, 5);
}

} // namespace

namespace {

// Short forms of 1023 bytes fit the buffer, 1024 do not. Each is longer than
// its long form, which fits: "a b" becomes "A_B~~" and 3 of a hash.
TEST_F(CommandLineTable, ShortFormAtTheBuffer)
{
    for (size_t length : {1023, 1024}) {
        // {D}\PAD\a b\a b...: 9 bytes for each "a b" in the short form, the
        // rest made up by the legal name PAD.
        const size_t rest = length - windows_form(dir_).size() - 1;
        const size_t pad = (rest - 1) % 9 + 1;
        std::string name = pad <= 8 ? std::string(pad, 'p') : std::string(pad - 4, 'p') + ".ppp";
        std::string path = dir_ + "/" + name;
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        for (size_t n = pad + 1; n < rest; n += 9) {
            name += "\\a b";
            path += "/a b";
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        }
        ASSERT_LT(windows_form(dir_).size() + 1 + name.size(), 1024u); // the long form fits
        const expect got = run({"-sp", name});
        const std::string prefix = windows_form(dir_) + "\\" + name.substr(0, pad) + "\\A_B~~";
        if (under_wine()) { // Wine stops at 260
            EXPECT_EQ(got.status, 206) << length;
        } else if (length == 1023) {
            EXPECT_EQ(got.out.substr(0, prefix.size()), prefix);
            EXPECT_EQ(got.out.size(), length - 9 + 1); // the path part and a line feed
            EXPECT_EQ(got.status, 0);
        } else {
            EXPECT_EQ(got.err, fails(111).err);
            EXPECT_EQ(got.status, 111);
        }
    }
}

} // namespace

namespace {

// Japanese Windows, code page 932: 表 (0x95 0x5C), ソ (0x83 0x5C) and 能
// (0x94 0x5C) end in the byte of a backslash, which stays as it is; ﾃｽﾄ are
// single bytes (0xC3 0xBD 0xC4), not lead bytes. Rows are written in UTF-8;
// the program gets and prints code page 932 bytes, and its line is compared
// as those bytes. Texts are Wine 8's Japanese ones.
const std::string LONG_NAME = "C:\\" + std::string(1019, 'a') + "表"; // cut after 0x95
const row CP932_TABLE[] = {
    {"cp932, backslashes", {"C:\\表\\sub\\ソ.txt"}, ok("C:\\表\\sub\\ソ.txt")},
    {"cp932, slashes", {"-/", "C:\\表\\sub\\ソ.txt"}, ok("C:/表/sub/ソ.txt")},
    {"cp932, cygnus", {"-c", "C:\\表\\sub\\ソ.txt"}, ok("//C/表/sub/ソ.txt")},
    {"cp932, path", {"-p", "C:\\表\\sub\\ソ.txt"}, ok("C:\\表\\sub")},
    {"cp932, path with slashes", {"-p/", "C:\\表\\sub\\ソ.txt"}, ok("C:/表/sub")},
    {"cp932, main part", {"-f", "C:\\表\\sub\\ソ.txt"}, ok("ソ")},
    {"cp932, extension", {"-e", "C:\\表\\x.ソ"}, ok("ソ")},
    {"cp932, several in a row", {"-/", "C:\\表ソ能\\能\\x.txt"}, ok("C:/表ソ能/能/x.txt")},
    {"cp932, double-byte main part and extension", {"-fe", "C:\\docs\\資料.テキスト"}, ok("資料.テキスト")},
    {"cp932, double-byte extension", {"-e", "C:\\docs\\資料.テキスト"}, ok("テキスト")},
    {"cp932, slashes typed", {"C:/表/sub/y.txt"}, ok("C:\\表\\sub\\y.txt")},
    {"cp932, relative", {"-/", "表\\y.txt"}, ok("{D/}/表/y.txt")},
    {"cp932, in the root, cygnus", {"-c", "C:\\表.txt"}, ok("//C/表.txt")},
    {"cp932, in the root, path", {"-p", "C:\\表.txt"}, ok("C:")},
    {"cp932, single-byte katakana", {"-/", "C:\\ﾃｽﾄ\\ｿ\\x.txt"}, ok("C:/ﾃｽﾄ/ｿ/x.txt")},
    {"cp932, cut inside a character", {LONG_NAME}, {"", "ファイル名が長すぎます。\n", 206}},
    {"cp932, missing file under -s", {"-s", "表\\x.txt"}, {"", "ファイルが見つかりません。\n", 2}},
};

TEST_F(CommandLineTable, CodePage932)
{
    if (!cp932())
        GTEST_SKIP() << "TARSEL_CODEPAGE=932 runs this table under Wine";
    ASSERT_EQ(convert("表", "CP932", "UTF-8"), "\x95\x5C");
    for (const row &r : CP932_TABLE) {
        const expect got = run(r.args);
        EXPECT_EQ(got.out, convert(expand(r.native.out), "CP932", "UTF-8")) << r.what;
        EXPECT_EQ(convert(got.err, "UTF-8", "CP932"), r.native.err) << r.what;
        EXPECT_EQ(got.status, r.native.status) << r.what;
    }
}

} // namespace
