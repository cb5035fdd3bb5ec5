// FormatMessageA and LocalFree over Windows' own message texts, in English
// and in the languages below, and the thread's last-error value.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "messages.h"
#include "pathtext.h"
#include "winapi.h"

namespace {

// Each text in place: a table of pointers would be relocated at every
// start of the position-independent program, a run that succeeds too.
struct message {
    DWORD code;
    char text[160];
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

// The texts Windows prints in other languages, as collected from its
// output there (tests/vectors/messages.*.tsv).
constexpr message JAPANESE[] = {
    {0, "この操作を正しく終了しました。\n"},
    {1, "ファンクションが間違っています。\n"},
    {2, "指定されたファイルが見つかりません。\n"},
    {3, "指定されたパスが見つかりません。\n"},
    {4, "ファイルを開くことができません。\n"},
    {5, "アクセスが拒否されました。\n"},
    {6, "ハンドルが無効です。\n"},
    {8, "このコマンドを処理するにはメモリ リソースが足りません。\n"},
    {14, "メモリ リソースが不足しているため、この操作を完了できません。\n"},
    {15, "指定されたドライブが見つかりません。\n"},
    {18, "これ以上ファイルがありません。\n"},
    {21, "デバイスの準備ができていません。\n"},
    {32, "プロセスはファイルにアクセスできません。別のプロセスが使用中です。\n"},
    {53, "ネットワーク パスが見つかりません。\n"},
    {67, "ネットワーク名が見つかりません。\n"},
    {80, "ファイルがあります。\n"},
    {87, "パラメーターが間違っています。\n"},
    {112, "ディスクに十分な空き領域がありません。\n"},
    {122, "システム コールに渡されるデータ領域が小さすぎます。\n"},
    {123, "ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています。\n"},
    {145, "ディレクトリが空ではありません。\n"},
    {161, "指定されたパスは無効です。\n"},
    {183, "既に存在するファイルを作成することはできません。\n"},
    {206, "ファイル名または拡張子が長すぎます。\n"},
    {267, "ディレクトリ名が無効です。\n"},
    {1117, "I/O デバイス エラーが発生したため、要求を実行できませんでした。\n"},
    {1392, "ファイルまたはディレクトリが壊れているため、読み取ることができません。\n"},
};
constexpr message CHINESE[] = {
    {2, "系统找不到指定的文件。\n"},
    {3, "系统找不到指定的路径。\n"},
    {5, "拒绝访问。\n"},
    {87, "参数错误。\n"},
    {123, "文件名、目录名或卷标语法不正确。\n"},
    {161, "指定的路径无效。\n"},
    {206, "文件名或扩展名太长。\n"},
};
constexpr message GERMAN[] = {
    {2, "Das System kann die angegebene Datei nicht finden.\n"},
    {3, "Das System kann den angegebenen Pfad nicht finden.\n"},
    {5, "Zugriff verweigert\n"},
    {87, "Falscher Parameter.\n"},
    {123, "Die Syntax für den Dateinamen, Verzeichnisnamen oder die Datenträgerbezeichnung ist falsch.\n"},
    {206, "Der Dateiname oder die Erweiterung ist zu lang.\n"},
};
constexpr message FRENCH[] = {
    {2, "Le fichier spécifié est introuvable.\n"},
    {3, "Le chemin d’accès spécifié est introuvable.\n"},
    {5, "Accès refusé.\n"},
    {87, "Paramètre incorrect.\n"},
    {123, "La syntaxe du nom de fichier, de répertoire ou de volume est incorrecte.\n"},
    {161, "Le chemin d’accès spécifié n’est pas valide.\n"},
    {206, "Nom de fichier ou extension trop long.\n"},
};

thread_local DWORD last_error = 0;

template <size_t N> const char *find(const message (&table)[N], DWORD code)
{
    for (const message &m : table)
        if (m.code == code)
            return m.text;
    return nullptr;
}

// The language a language id asks for: the user's for the neutral and the
// user-default ids, else by its primary language (Chinese: China and
// Singapore, the Simplified script).
winmsg::language language_of_id(DWORD id)
{
    using winmsg::language;
    const DWORD primary = id & 0x3FF, sub = id >> 10;
    if (id == 0 || id == LANG_USER_DEFAULT)
        return winmsg::user_language();
    switch (primary) {
    case 0x11: return language::japanese;
    case 0x04: return sub == 2 || sub == 4 ? language::chinese : language::english;
    case 0x07: return language::german;
    case 0x0C: return language::french;
    default: return language::english;
    }
}

} // namespace

namespace winmsg {

const char *system_text(DWORD code, language lang)
{
    const char *text = nullptr;
    switch (lang) {
    case language::japanese: text = find(JAPANESE, code); break;
    case language::chinese: text = find(CHINESE, code); break;
    case language::german: text = find(GERMAN, code); break;
    case language::french: text = find(FRENCH, code); break;
    case language::english: break;
    }
    return text ? text : find(MESSAGES, code);
}

// POSIX's order for messages: LC_ALL, LC_MESSAGES, LANG, the first set and
// not empty. "ll_TT.charset@modifier": the language, and UTF-8 or not.
language language_of(const char *lc_all, const char *lc_messages, const char *lang)
{
    const char *locale = lc_all && *lc_all ? lc_all : lc_messages && *lc_messages ? lc_messages : lang;
    const std::string_view name = locale ? locale : "";
    // The modifier runs to the end and may hold a dot itself ("@x.UTF-8").
    const size_t at = name.find('@'), dot = winpath::sub(name, 0, at).find('.');
    const std::string_view head = winpath::sub(name, 0, dot < at ? dot : at);
    const std::string_view charset =
        dot == std::string_view::npos ? "" : winpath::sub(name, dot + 1, at - dot - 1);
    // A terminal in any other character set could not show the texts.
    if (!winpath::same_text(charset, "UTF-8") && !winpath::same_text(charset, "utf8"))
        return language::english;
    const std::string_view ll = winpath::sub(head, 0, head.find('_'));
    if (ll == "ja")
        return language::japanese;
    if (head == "zh_CN" || head == "zh_SG")
        return language::chinese;
    if (ll == "de")
        return language::german;
    if (ll == "fr")
        return language::french;
    return language::english;
}

// The user's language is the platform's state, as Windows keeps it: read
// from the locale once, and only when a text is asked for (plain statics:
// they need no guard of the C++ runtime).
language user_language()
{
    static bool known = false;
    static language lang = language::english;
    if (!known) {
        lang = language_of(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"));
        known = true;
    }
    return lang;
}

} // namespace winmsg

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

// Only what tarsel asks for: system texts in a buffer the call allocates.
// Insert markers are never expanded, so %1 stays as it stands.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD code, DWORD language, LPSTR buffer, DWORD, va_list *)
{
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !(flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char *text = winmsg::system_text(code, language_of_id(language));
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
