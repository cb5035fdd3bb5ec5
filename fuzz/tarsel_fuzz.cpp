// Fuzz target for the whole program, in process: the input split at NUL
// bytes is the argument list. Either exactly one line reaches standard
// output, nothing reaches standard error and the status is 0; or nothing
// reaches standard output, a message or the usage text reaches standard
// error, and the status is not 0.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "tarsel.h"
#include "tempdir.h"

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

// Standard output and standard error go to memory files, read back after each run.
struct capture {
    int out = -1, err = -1, saved_err = -1;

    capture()
    {
        out = memfd_create("stdout", 0);
        err = memfd_create("stderr", 0);
        saved_err = dup(2);
        require(out >= 0 && err >= 0 && dup2(out, 1) == 1, "capture");
        const std::string dir = temp_dir("tarsel-fuzz-");
        require(!dir.empty() && chdir(dir.c_str()) == 0, "working directory");
    }
    void start()
    {
        fflush(stdout);
        for (int fd : {out, err}) {
            require(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "reset");
        }
        dup2(err, 2);
        clearerr(stdout);
        clearerr(stderr);
    }
    std::string text(int fd)
    {
        std::string s(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
        require(pread(fd, s.data(), s.size(), 0) == static_cast<ssize_t>(s.size()), "read back");
        return s;
    }
    void finish(std::string &o, std::string &e)
    {
        fflush(stdout);
        fflush(stderr);
        dup2(saved_err, 2); // the fuzzer reports on the real standard error
        o = text(out);
        e = text(err);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static capture cap;
    std::vector<std::string> args{"tarsel"};
    std::string cur;
    for (size_t i = 0; i < size && args.size() < 64; i++) {
        if (data[i] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(data[i]);
        }
    }
    if (size > 0)
        args.push_back(cur);
    std::vector<char *> argv;
    size_t newlines = 0;
    for (std::string &a : args) {
        argv.push_back(a.data());
        for (char c : a)
            newlines += c == '\n';
    }
    argv.push_back(nullptr);

    cap.start();
    const int status = tarsel(static_cast<int>(args.size()), argv.data());
    std::string out, err;
    cap.finish(out, err);

    if (status == 0) {
        require(err.empty(), "success writes nothing on stderr");
        require(!out.empty() && out.back() == '\n', "success prints a line");
        size_t lines = 0;
        for (char c : out)
            lines += c == '\n';
        require(lines <= 1 + newlines, "exactly one line, but for line feeds in the name");
    } else {
        require(out.empty(), "failure prints nothing on stdout");
        require(!err.empty() && err.back() == '\n', "failure says why");
    }
    return 0;
}
