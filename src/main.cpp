#include "tarsel.h"

int main(int argc, char **argv) { return tarsel(argc, argv); }
