// The path step: resolve, check, split and print the name.
#pragma once

#include <cstddef>

#include "options.h"

// 0 after the line was printed, otherwise the reported error code.
int print_path(opts *o);

// Whether a resolved path of len bytes, last component at filepart (or
// null), can be cut into drive, directory, main part and extension.
bool splittable(const char *fullpath, size_t len, const char *filepart);

// Backslashes to slashes in place, keeping those after a Shift JIS lead byte.
void bstos(char *s);

// 1 when c (0..255) is a Shift JIS lead byte, else 0.
int iskanji(int c);
