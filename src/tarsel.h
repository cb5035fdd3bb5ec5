// The command line: option letters, the joined name, the usage text.
#pragma once

#include "options.h"

void usage();

// Reads the options and joins the name arguments into o.name.
// Returns false when the command line is unusable.
bool read_command_line(int argc, char *const *argv, opts &o);

// The whole program: what main returns for this argument list.
int tarsel(int argc, char *const *argv);
