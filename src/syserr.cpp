// The one reporter of failures: the system's text for the last-error value.
#include "syserr.h"

#include <cstdio>

#include "winapi.h"

int display_error()
{
    const DWORD code = GetLastError();
    char *text = nullptr;
    // Inserts are ignored: a text holding %1 prints as it stands.
    // characters written, 0 + last error when the system has no text for the code
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr,
                                   code,
                                   LANG_USER_DEFAULT,
                                   reinterpret_cast<char *>(&text),
                                   0,
                                   nullptr);
    if (n != 0) {
        fprintf(stderr, "%s", text);
        LocalFree(text);
    } else {
        fprintf(stderr, "Error code=%d\n", static_cast<int>(code));
    }
    return static_cast<int>(code);
}
