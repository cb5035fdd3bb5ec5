// The system's message texts by language, and the user's language, which
// the emulated FormatMessageA reads from the locale as Windows keeps it.
#pragma once

#include "winapi.h"

namespace winmsg {

enum class language : unsigned char { english, japanese, chinese, german, french };

// The text for `code` in `lang`, else in English; nullptr for none.
const char *system_text(DWORD code, language lang);

// The language of the locale that LC_ALL, LC_MESSAGES and LANG name (any of
// them null when unset): English unless its character set is UTF-8.
language language_of(const char *lc_all, const char *lc_messages, const char *lang);

// The user's language, from the process's environment, read once.
language user_language();

} // namespace winmsg
