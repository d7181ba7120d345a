// How file name bytes read as text.
#include "platform/files/file_name_text.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

TEST(FileNameText, Utf8ThenCleanGb18030ThenOneReplacementPerInvalidByte)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"plain.txt", "plain.txt"},
        {"中文.txt", "中文.txt"},                              // valid UTF-8
        {"\xD6\xD0\xCE\xC4.txt", "中文.txt"},                  // GB18030
        {"a\xFF" "b", "a\uFFFD" "b"},                          // not GB18030 either
        {"\xE4\xB8\xFF", "\uFFFD\uFFFD\uFFFD"},
        {"\xC3\x80\xFF", "\u00C0\uFFFD"},
    };
    for (const auto& [bytes, text] : cases) {
        SCOPED_TRACE(bytes.toHex().constData());
        EXPECT_EQ(platform::fileNameText(bytes), text);
    }
}

TEST(FileNameText, PathIsDecodedOneComponentAtATime)
{
    // The GB18030 folder stays readable although the name after it is not valid in either.
    EXPECT_EQ(platform::pathText("/home/\xD6\xD0\xCE\xC4/\xC3\xA9\xFF"), "/home/中文/é\uFFFD");
    EXPECT_EQ(platform::pathText("/usr/lib"), "/usr/lib");
}

} // namespace
