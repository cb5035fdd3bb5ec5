// An argument list for calling the program in process: "tarsel" and the words.
#pragma once

#include <string>
#include <vector>

class arglist {
  public:
    explicit arglist(std::vector<std::string> words) : words_(std::move(words))
    {
        words_.insert(words_.begin(), "tarsel");
        for (std::string &w : words_)
            argv_.push_back(w.data());
        argv_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words_.size()); }
    char *const *argv() const { return argv_.data(); }

  private:
    std::vector<std::string> words_;
    std::vector<char *> argv_;
};
