// Which type, and so which icon, a file name gets: by its whole name, its longest known suffix,
// or its last one; a name without a suffix gets the generic icon.
#include "platform/desktop/mime_globs.h"
#include "platform/desktop/theme_icon_source.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <QMimeDatabase>
#include <QStandardPaths>

#include <random>
#include <set>

namespace {

TEST(ThemeIcons, TypeOfAFileNameByWholeNameLongestSuffixOrLastSuffix)
{
    platform::ThemeIconSource icons;
    const std::pair<const char*, const char*> cases[] = {
        {"Makefile", "text/x-makefile"},          // a whole name the database knows
        {"makefile", "text/x-makefile"},
        {"backup.tar.gz", "application/x-compressed-tar"}, // two parts beat the last one
        {"BACKUP.TAR.GZ", "application/x-compressed-tar"},
        {"notes.gz", "application/gzip"},
        {"photo.JPG", "image/jpeg"},
        {"a.b.c.txt", "text/plain"},
        {".bashrc", "application/octet-stream"}, // a leading dot starts no suffix
        {"README", "application/octet-stream"},  // no suffix at all
        {"trailing.", "application/octet-stream"},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(icons.typeForFileName(QString::fromUtf8(name)), QString::fromUtf8(type)) << name;
}

// The patterns come from the database's list of them, read as one file, where the start once
// asked Qt for every type's: both must give the same patterns for the same types, as the icons
// use them (without case; the list keeps one of a pattern's spellings).
TEST(ThemeIcons, TheDatabasesListOfPatternsHoldsWhatQtGivesForEveryType)
{
    if (QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2")).isEmpty())
        GTEST_SKIP() << "no mime/globs2 here: the patterns come from Qt's database";
    const QMimeDatabase database;
    std::set<std::pair<QString, QString>> listed, asked;
    for (const platform::MimeGlob& glob : platform::mimeGlobs(database))
        listed.insert({glob.pattern.toLower(), glob.type});
    for (const QMimeType& type : database.allMimeTypes())
        for (const QString& pattern : type.globPatterns())
            asked.insert({pattern.toLower(), type.name()});
    EXPECT_EQ(listed, asked);

    const auto globs = platform::parseGlobs2("# comment\n50:text/x-c++src:*.C:cs\n0:text/x-x:__NOGLOBS__\n"
                                             "malformed\n10:a/b\n80:text/html:*.html\n");
    ASSERT_EQ(globs.size(), 2u);
    EXPECT_EQ(globs[0].pattern, QStringLiteral("*.C"));
    EXPECT_EQ(globs[0].type, QStringLiteral("text/x-c++src"));
    EXPECT_EQ(globs[1].pattern, QStringLiteral("*.html"));
}

TEST(ThemeIcons, RowsOfOneTypeShareAnImageAndFoldersHaveTheirOwn)
{
    platform::ThemeIconSource::ensureIconTheme();
    platform::ThemeIconSource icons;
    EXPECT_EQ(icons.GetFileIcon(u"a.tar.gz", false), icons.GetFileIcon(u"B.TAR.GZ", false));
    EXPECT_EQ(icons.GetFileIcon(u"a.txt", false), icons.GetFileIcon(u"b.TXT", false));
    EXPECT_EQ(icons.GetFileIcon(u"README", false), icons.GetFileIcon(u".bashrc", false));
    EXPECT_EQ(icons.GetFileIcon(u"x.txt", true), icons.GetFileIcon(u"y", true));
    EXPECT_NE(icons.GetFileIcon(u"x.txt", true), icons.GetFileIcon(u"x.txt", false));
}

// A name's bytes find the image its text finds: random names of known suffixes and whole names,
// in any case, with leading, trailing and doubled dots, and names that are not ASCII.
TEST(ThemeIcons, ANameByItsBytesGetsTheImageOfItsText)
{
    platform::ThemeIconSource::ensureIconTheme();
    platform::ThemeIconSource icons;
    const char* parts[] = {"tar", "GZ", "gz", "txt", "JPG", "makefile", "Makefile", "a", "x", "", "中", "\xff"};
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        QByteArray name;
        for (int n = std::uniform_int_distribution(1, 4)(random); n > 0; --n) {
            name += parts[std::uniform_int_distribution<size_t>(0, std::size(parts) - 1)(random)];
            if (n > 1 || random() % 4 == 0)
                name += '.';
        }
        if (random() % 5 == 0)
            name.prepend('.');
        EXPECT_EQ(icons.iconForName(name, false), icons.GetFileIcon(platform::fileNameText(name), false)) << name.data();
    }
    EXPECT_EQ(icons.iconForName("x.txt", true), icons.GetFileIcon(u"x.txt", true));
}

} // namespace
