// Reporting of the system's last-error value.
#pragma once

// Prints the message for the last-error value on stderr and returns the code.
int display_error();
