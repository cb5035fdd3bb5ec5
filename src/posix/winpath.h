// The Windows path rules of the emulation, as functions of their inputs: the
// name, the current directory and (for short names) a directory reader. The
// kernel32-shaped calls in kernel32.cpp only gather that context from the
// process, so tests can run any name against any current directory.
#pragma once

#include <cstddef>
#include <dirent.h>
#include <string_view>

#include "fixedtext.h"

#include "winapi.h"

namespace winpath {

// Longest result of the long-path aware API, in characters.
constexpr size_t MAX_CHARS = 32767;

// The current drive and directory ("X:\dir"). The directory is asked for only
// when a name needs it.
class current_dir {
  public:
    explicit current_dir(std::string_view fixed) : fixed_(fixed) {}
    virtual ~current_dir() = default;
    current_dir(const current_dir &) = delete;
    current_dir &operator=(const current_dir &) = delete;

    virtual char drive() const { return fixed_.empty() ? 'Z' : fixed_[0]; }
    // The directory, or false with a Windows error code.
    virtual bool get(std::string_view &dir, DWORD &error)
    {
        (void)error;
        dir = fixed_;
        return true;
    }

  private:
    std::string_view fixed_;
};

// Lists directories named by absolute Windows paths.
class dir_reader {
  public:
    virtual ~dir_reader() = default;
    // Starts listing `dir`; 0 or a Windows error code.
    virtual DWORD open(std::string_view dir) = 0;
    // The next entry's name ("." and ".." included), or nullptr after the last.
    virtual const char *next() = 0;
    // Whether the whole path exists, links followed; 0 or a Windows error code.
    virtual DWORD check(std::string_view path) = 0;
};

// The folders of the POSIX file system: drive `drive` is the folder `root`
// ("" for "/"), which must outlive the reader; every other drive has no
// directory.
class posix_dirs : public dir_reader {
  public:
    posix_dirs(char drive, std::string_view root) : drive_(drive), root_(root) {}
    ~posix_dirs() override { close(); }
    DWORD open(std::string_view dir) override;
    const char *next() override;
    DWORD check(std::string_view path) override;

  private:
    bool to_posix(std::string_view path);
    void close();

    char drive_;
    std::string_view root_;
    fixed_text<MAX_CHARS + 4096> path_;
    DIR *dir_ = nullptr;
};

// What a kernel32 path call returns: the length without NUL, the size needed
// with NUL when the buffer is too small, or 0 with `error` as the last error.
struct path_result {
    DWORD value;
    DWORD error;
};

// GetFullPathNameA: `filepart` may be null.
path_result full_path(const char *name, current_dir &cwd, char *buf, DWORD size, char **filepart);

// GetShortPathNameA: `path` and `buf` may be the same buffer.
path_result short_path(const char *path, current_dir &cwd, dir_reader &dirs, char *buf, DWORD size);

} // namespace winpath
