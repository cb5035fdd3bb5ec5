#include <gtest/gtest.h>

#include <string>

#include "errmap.h"
#include "tsv.h"
#include "winapi.h"

namespace {

class MessageVectors : public testing::TestWithParam<vector_row> {};

// The texts end in "\n" where Windows ends them in CR LF. An input
// "FLAGS:CODE" gives the flags; "CODE" alone asks as tarsel does.
TEST_P(MessageVectors, GivesTheEnglishWindowsText)
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
                                   LANG_USER_DEFAULT,
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

INSTANTIATE_TEST_SUITE_P(Vectors, MessageVectors, testing::ValuesIn(read_vectors("messages.tsv", "msg:")),
                         [](const auto &info) { return row_name(info.param.line); });

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
