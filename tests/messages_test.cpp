#include <gtest/gtest.h>

#include <string>

#include "errmap.h"
#include "messages.h"
#include "syserr.h"
#include "tsv.h"
#include "winapi.h"

namespace {

// Each language's texts, asked for by its language id: the rows of
// messages.tsv in English (0x409), those of messages.LL.tsv in theirs. The
// row's language goes in its current directory, which does not matter here.
std::vector<vector_row> message_rows()
{
    const struct {
        const char *file, *language;
    } files[] = {{"messages.tsv", "en:0x409"},
                 {"messages.ja.tsv", "ja:0x411"},
                 {"messages.zh.tsv", "zh:0x804"},
                 {"messages.de.tsv", "de:0x407"},
                 {"messages.fr.tsv", "fr:0x40C"}};
    std::vector<vector_row> rows;
    for (const auto &f : files)
        for (vector_row r : read_vectors(f.file, "msg:")) {
            r.cwd = f.language;
            rows.push_back(r);
        }
    return rows;
}

class MessageVectors : public testing::TestWithParam<vector_row> {};

// The texts end in "\n" where Windows ends them in CR LF. An input
// "FLAGS:CODE" gives the flags; "CODE" alone asks as tarsel does.
TEST_P(MessageVectors, GivesTheWindowsText)
{
    const vector_row &r = GetParam();
    const size_t colon = r.input.find(':');
    const DWORD flags =
        colon == std::string::npos
            ? FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
            : std::stoul(r.input, nullptr, 16);
    std::string expected = r.expected;
    for (size_t at; (at = expected.find("\r\n")) != std::string::npos;)
        expected.replace(at, 2, "\n");
    char *text = nullptr;
    SetLastError(0);
    const DWORD n = FormatMessageA(flags,
                                   nullptr,
                                   std::stoul(r.input.substr(colon + 1)),
                                   std::stoul(r.cwd.substr(3), nullptr, 16),
                                   reinterpret_cast<char *>(&text),
                                   0,
                                   nullptr);
    if (expected.rfind("ERROR:", 0) == 0) {
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(GetLastError(), std::stoul(expected.substr(6)));
    } else {
        ASSERT_NE(n, 0u);
        EXPECT_EQ(std::string(text, n), expected);
        LocalFree(text);
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, MessageVectors, testing::ValuesIn(message_rows()), [](const auto &info) {
    return info.param.cwd.substr(0, 2) + "_" + row_name(info.param.line);
});

// The locale chooses the language: LC_ALL, LC_MESSAGES, LANG, the first
// set and not empty, and only in UTF-8; a code without a text in that
// language gets the English one.
TEST(UserLanguage, FromTheLocale)
{
    using winmsg::language;
    const struct {
        const char *lc_all, *lc_messages, *lang;
        language want;
    } rows[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", language::japanese},
        {"C", nullptr, "ja_JP.UTF-8", language::english},
        {"", "de_DE.utf8", "ja_JP.UTF-8", language::german},
        {nullptr, "", "fr_CA.Utf-8@euro", language::french},
        {nullptr, nullptr, "ja_JP.eucJP", language::english},
        {nullptr, nullptr, "ja_JP", language::english},
        {nullptr, nullptr, "ja_JP.XTF-8", language::english},
        {nullptr, nullptr, "ja_JP@x.UTF-8", language::english}, // a modifier "x.UTF-8", no character set
        {nullptr, nullptr, "de_DE.UTF-8@euro", language::german},
        {nullptr, nullptr, "zh_CN.UTF-8", language::chinese},
        {nullptr, nullptr, "zh_SG.UTF-8", language::chinese},
        {nullptr, nullptr, "zh_TW.UTF-8", language::english},
        {nullptr, nullptr, "jam_JM.UTF-8", language::english},
        {nullptr, nullptr, "C.UTF-8", language::english},
        {"POSIX", "ja_JP.UTF-8", nullptr, language::english},
        {nullptr, nullptr, nullptr, language::english},
    };
    for (const auto &r : rows)
        EXPECT_EQ(winmsg::language_of(r.lc_all, r.lc_messages, r.lang), r.want)
            << (r.lc_all ? r.lc_all : "-") << " " << (r.lc_messages ? r.lc_messages : "-") << " "
            << (r.lang ? r.lang : "-");
    EXPECT_STREQ(winmsg::system_text(1921, language::japanese), winmsg::system_text(1921, language::english));
    EXPECT_EQ(winmsg::system_text(99999, language::german), nullptr);
    // A code without any text is reported by its number.
    SetLastError(99999);
    testing::internal::CaptureStderr();
    EXPECT_EQ(display_error(), 99999);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error code=99999\n");
}

// Every code the errno mapping can give has a text of its own.
TEST(ErrnoMapping, EveryCodeHasAText)
{
    const int errs[] = {
        ENOENT, ENOTDIR, EACCES, EPERM, ENAMETOOLONG, ELOOP, EIO, ENOSPC, EPIPE, EBADF, ENOMEM, EROFS, EXDEV};
    for (int err : errs) {
        for (bool last : {false, true}) {
            const DWORD code = code_from_errno(err, last);
            char *text = nullptr;
            EXPECT_NE(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                     nullptr,
                                     code,
                                     LANG_USER_DEFAULT,
                                     reinterpret_cast<char *>(&text),
                                     0,
                                     nullptr),
                      0u)
                << "errno " << err << " -> " << code;
            LocalFree(text);
        }
    }
    EXPECT_EQ(code_from_errno(ENOENT, true), 2u);
    EXPECT_EQ(code_from_errno(ENOENT, false), 3u);
    EXPECT_EQ(code_from_errno(ELOOP, true), 1921u);
    EXPECT_EQ(code_from_errno(ENOSPC, false), 112u);
    EXPECT_EQ(code_from_errno(EXDEV, false), 31u);
}

} // namespace
