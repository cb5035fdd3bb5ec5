// The real disk: the one place that reads directories and the working
// directory. Everything here is reached through the seams of winpath.h.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "winpath.h"

namespace winpath {

// The folders of the POSIX file system. Drive `drive` is the folder `root`;
// the working directory is `cwd`, or the process's own when it is null.
// Both strings must outlive the reader. Every other drive has no directory.
class posix_dirs : public dir_reader {
  public:
    posix_dirs(char drive, const char *root, const char *cwd = nullptr)
        : drive_(drive), root_(root), cwd_(cwd)
    {
    }
    ~posix_dirs() override;
    posix_dirs(const posix_dirs &) = delete;
    posix_dirs &operator=(const posix_dirs &) = delete;

    DWORD start(char drive, dir_handle &dir, dir_id &id) override;
    DWORD open(dir_handle parent, const char *name, dir_handle &dir, dir_id &id) override;
    DWORD up(dir_handle dir, dir_handle &parent, dir_id &id) override;
    void close(dir_handle dir) override;
    DWORD list(dir_handle dir, short_source &how) override;
    DWORD next(dir_entry &e) override;
    DWORD check(dir_handle dir, const char *name) override;
    DWORD lookup(dir_handle dir, const char *name) override;
    bool exact_lookup(dir_handle dir) override;
    DWORD stamp(dir_handle dir, dir_stamp &s) override;
    bool settle(dir_handle dir, const dir_stamp &s) override;
    bool watch(dir_handle dir) override;
    bool changed(const name_test &test) override;
    DWORD kept_name(dir_handle dir, const dir_entry &e, volume_name &kept) override;
    DWORD find_kept(dir_handle dir, std::string_view name, entry_name &found, volume_name &kept) override;
    bool kept_in_any_case(dir_handle dir) override;

  private:
    void end_list();
    const char *odd_fat_name(int64_t at, const char *listed);
    const char *past_unlistable();
    DWORD past_covered(dir_handle parent, const char *name, dir_handle &dir, dir_id &id);
    DWORD dos_name(dir_handle dir, const char *name, volume_name &kept, struct stat &entry);
    DWORD fat_find_kept(dir_handle dir, std::string_view name, entry_name &found, volume_name &kept);
    DWORD fat_kept(dir_handle dir, const dir_entry &e, volume_name &kept);

    char drive_;
    const char *root_, *cwd_;
    dir_id root_id_;
    bool root_known_ = false;
    DIR *listed_ = nullptr;
    dir_handle listed_dir_ = -1;
    bool fat_ = false;               // a FAT directory: its entries' positions are listed
    int64_t next_at_ = 0;            // where the next entry listed starts
    char odd_name_[256];             // a FAT entry listed by its 8.3 name
    int notify_ = -1, watched_ = -1; // inotify, and the directory it watches
    dev_t volume_dev_ = 0;           // the device of the folders opened last,
    bool ntfs_3g_ = false;           // and whether it is ntfs-3g
};

// Drive Z: is "/", and its current directory the process's working directory.
class process_dir : public current_dir {
  public:
    static constexpr char DRIVE = 'Z';
    // Only the first bytes are written: the buffers are large, and every run
    // makes one.
    process_dir() : current_dir({}) { real_[0] = path_[0] = '\0'; }
    char drive() const override { return DRIVE; }
    bool get(std::string_view &dir, DWORD &error) override;

  private:
    bool got_ = false;
    char real_[MAX_CHARS + 1]; // getcwd's own text
    char path_[MAX_CHARS + 3];
};

} // namespace winpath
