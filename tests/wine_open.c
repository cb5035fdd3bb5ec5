/* Opens each path of a list as a Windows program opens a name it is given:
 * each line of LIST is "ID<TAB>PATH" in UTF-8; for each, OUT gets
 * "ID<TAB>" and the first line of what the file opened holds, or
 * "error N". Built with mingw-w64 and run under Wine by wine_names.sh. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char **argv)
{
    FILE *in = argc == 3 ? fopen(argv[1], "rb") : NULL, *out = argc == 3 ? fopen(argv[2], "wb") : NULL;
    char line[8192], held[256];
    WCHAR wide[8192];
    if (!in || !out)
        return 2;
    while (fgets(line, sizeof line, in)) {
        char *tab = strchr(line, '\t');
        DWORD got = 0;
        HANDLE h;
        line[strcspn(line, "\r\n")] = '\0';
        if (!tab)
            continue;
        *tab = '\0';
        h = MultiByteToWideChar(CP_UTF8, 0, tab + 1, -1, wide, 8192)
                ? CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
                : INVALID_HANDLE_VALUE;
        if (h == INVALID_HANDLE_VALUE) {
            fprintf(out, "%s\terror %lu\n", line, GetLastError());
            continue;
        }
        if (!ReadFile(h, held, sizeof held - 1, &got, NULL))
            got = 0;
        CloseHandle(h);
        held[got] = '\0';
        held[strcspn(held, "\r\n")] = '\0';
        fprintf(out, "%s\t%s\n", line, held);
    }
    return fclose(out) == 0 ? 0 : 1;
}
