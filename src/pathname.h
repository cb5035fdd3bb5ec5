// The path step: resolve, check, split and print the name.
#pragma once

#include "options.h"

// 0 after the line was printed, otherwise the reported error code.
int print_path(opts *o);

// Backslashes to slashes in place, keeping those after a Shift JIS lead byte.
void bstos(char *s);

// 1 when c (0..255) is a Shift JIS lead byte, else 0.
int iskanji(int c);
