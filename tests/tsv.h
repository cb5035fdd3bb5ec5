// Rows of the Windows fact tables in vectors/*.tsv.
#pragma once

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

struct vector_row {
    int line;
    std::string cwd;
    std::string input;
    std::string expected;
    std::string filepart;
};

// "%HH" is a byte in hex.
inline std::string decode(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Rows whose input starts with `kind` ("" for plain names), the prefix removed.
inline std::vector<vector_row> read_vectors(const std::string &file, const std::string &kind)
{
    std::vector<vector_row> rows;
    std::ifstream in(std::string(TARSEL_VECTORS) + "/" + file);
    std::string text;
    std::getline(in, text); // header
    for (int line = 2; std::getline(in, text); line++) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = text.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(text.substr(start, tab - start));
        f.push_back(text.substr(start));
        if (f.size() < 4)
            continue;
        const bool prefixed = f[1].rfind("short:", 0) == 0 || f[1].rfind("msg:", 0) == 0;
        if (kind.empty() ? prefixed : f[1].rfind(kind, 0) != 0)
            continue;
        rows.push_back({line, f[0], decode(f[1].substr(kind.size())), decode(f[2]), f[3]});
    }
    return rows;
}

inline std::ostream &operator<<(std::ostream &os, const vector_row &r) { return os << "line " << r.line; }

inline std::string row_name(int line) { return "line_" + std::to_string(line); }
