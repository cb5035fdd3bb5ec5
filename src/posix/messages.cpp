// FormatMessageA and LocalFree over the English Windows message texts, and
// the thread's last-error value.
#include <cstdlib>
#include <cstring>

#include "winapi.h"

namespace {

struct message {
    DWORD code;
    const char *text;
};

// On POSIX a text ends in "\n" where Windows ends it in CR LF.
constexpr message MESSAGES[] = {
    {0, "The operation completed successfully.\n"},
    {1, "Incorrect function.\n"},
    {2, "The system cannot find the file specified.\n"},
    {3, "The system cannot find the path specified.\n"},
    {4, "The system cannot open the file.\n"},
    {5, "Access is denied.\n"},
    {6, "The handle is invalid.\n"},
    {8, "Not enough memory resources are available to process this command.\n"},
    {14, "Not enough memory resources are available to complete this operation.\n"},
    {15, "The system cannot find the drive specified.\n"},
    {18, "There are no more files.\n"},
    {19, "The media is write protected.\n"},
    {21, "The device is not ready.\n"},
    {31, "A device attached to the system is not functioning.\n"},
    {32, "The process cannot access the file because it is being used by another process.\n"},
    {53, "The network path was not found.\n"},
    {67, "The network name cannot be found.\n"},
    {80, "The file exists.\n"},
    {87, "The parameter is incorrect.\n"},
    {109, "The pipe has been ended.\n"},
    {111, "The file name is too long.\n"},
    {112, "There is not enough space on the disk.\n"},
    {122, "The data area passed to a system call is too small.\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\n"},
    {145, "The directory is not empty.\n"},
    {161, "The specified path is invalid.\n"},
    {183, "Cannot create a file when that file already exists.\n"},
    {206, "The filename or extension is too long.\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\n"},
    {267, "The directory name is invalid.\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\n"},
    {1005,
     "The volume does not contain a recognized file system.\n"
     "Please make sure that all required file system drivers are loaded and that the volume is not "
     "corrupted.\n"},
    {1117, "The request could not be performed because of an I/O device error.\n"},
    {1816, "Not enough quota is available to process this command.\n"},
    {1392, "The file or directory is corrupted and unreadable.\n"},
    {1920, "The file cannot be accessed by the system.\n"},
    {1921, "The name of the file cannot be resolved by the system.\n"},
};

thread_local DWORD last_error = 0;

const char *text_of(DWORD code)
{
    for (const message &m : MESSAGES)
        if (m.code == code)
            return m.text;
    return nullptr;
}

} // namespace

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

// Only what tarsel asks for: system texts in a buffer the call allocates.
// Insert markers are never expanded, so %1 stays as it stands.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD code, DWORD, LPSTR buffer, DWORD, va_list *)
{
    const char *text = text_of(code);
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !(flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const size_t len = strlen(text);
    char *copy = static_cast<char *>(malloc(len + 1));
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    memcpy(copy, text, len + 1);
    *reinterpret_cast<char **>(buffer) = copy;
    return static_cast<DWORD>(len);
}

HLOCAL LocalFree(HLOCAL mem)
{
    free(mem);
    return nullptr;
}
