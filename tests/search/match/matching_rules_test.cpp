// The pure rules under the walk: wildcard matching, upper-casing, extensions, categories and the
// size and count texts.
#include "search/match/entry_filter.h"
#include "search/match/extension.h"
#include "search/match/file_type_categories.h"
#include "search/match/match_criteria.h"
#include "search/match/text_rules.h"
#include "search/match/wildcard_match.h"
#include "platform/files/file_name_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace {

using search::WildcardMatch;

struct MatchCase {
    const char* text;
    const char* pattern;
    std::optional<bool> expected; // nothing: malformed
};

void PrintTo(const MatchCase& c, std::ostream* os)
{
    *os << "'" << c.text << "' against '" << c.pattern << "'";
}

class WildcardRule : public ::testing::TestWithParam<MatchCase> {};

TEST_P(WildcardRule, AnswersAsTheRulesSay)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(WildcardMatch(QString::fromUtf8(c.text), QString::fromUtf8(c.pattern)), c.expected)
        << "text '" << c.text << "' pattern '" << c.pattern << "'";
}

constexpr std::optional<bool> kMalformed = std::nullopt;

INSTANTIATE_TEST_SUITE_P(Examples, WildcardRule, ::testing::Values(
    MatchCase{"ABC", "ABC", true}, MatchCase{"ABC", "A*", true}, MatchCase{"ABC", "*", true},
    MatchCase{"ABC", "?B?", true}, MatchCase{"ABC", "A[A-C]C", true}, MatchCase{"ABC", "[!X]BC", true},
    MatchCase{"ABC", "AB", false}, MatchCase{"ABC", "abc", false}, MatchCase{"7Z", "#Z", true},
    MatchCase{"AZ", "#Z", false}, MatchCase{"ABC", "*C*", true}));

INSTANTIATE_TEST_SUITE_P(WholeTextAndStars, WildcardRule, ::testing::Values(
    MatchCase{"", "*", true}, MatchCase{"", "", true}, MatchCase{"", "?", false},
    MatchCase{"x", "", false}, MatchCase{"ABCABD", "*ABD", true}, MatchCase{"MISSISSIPPI", "*SIP*", true},
    MatchCase{"MISSISSIPPI", "M*S*I", true}, MatchCase{"AB", "*?*?*?", false},
    MatchCase{"AXBXC", "A*B*C", true}, MatchCase{"AXBX", "A*B*C", false}));

INSTANTIATE_TEST_SUITE_P(Lists, WildcardRule, ::testing::Values(
    MatchCase{"B", "[ABC]", true}, MatchCase{"D", "[ABC]", false}, MatchCase{"D", "[!ABC]", true},
    MatchCase{"B", "[!A-C]", false},
    // "-" first or last stands for itself
    MatchCase{"-", "[-A]", true}, MatchCase{"-", "[!-A]", false}, MatchCase{"-", "[a-]", true},
    MatchCase{"a", "[a-]", true}, MatchCase{"b", "[a-]", false},
    // "[", "?", "#", "*" are plain inside a list
    MatchCase{"[", "[[]", true}, MatchCase{"?", "[?]", true}, MatchCase{"x", "[?]", false},
    MatchCase{"#", "[#]", true}, MatchCase{"5", "[#]", false}, MatchCase{"*", "[*]", true},
    MatchCase{"ab", "[*]", false},
    // "]" and "!" outside a list are plain
    MatchCase{"a]", "a]", true}, MatchCase{"!", "!", true},
    // "[]" is the empty text, "[!]" any one character
    MatchCase{"", "[]", true}, MatchCase{"a", "[]a", true}, MatchCase{"x", "[]", false},
    MatchCase{"x", "[!]", true}, MatchCase{"", "[!]", false}, MatchCase{"xy", "[!]", false},
    // "[--D]" is "-" to "D"; "[a-c-e]" is a to c, "-" and "e"
    MatchCase{"-", "[--D]", true}, MatchCase{"0", "[--D]", true}, MatchCase{"E", "[--D]", false},
    MatchCase{"b", "[a-c-e]", true}, MatchCase{"-", "[a-c-e]", true}, MatchCase{"e", "[a-c-e]", true},
    MatchCase{"d", "[a-c-e]", false}));

INSTANTIATE_TEST_SUITE_P(Malformed, WildcardRule, ::testing::Values(
    MatchCase{"a", "[a--z]", kMalformed}, MatchCase{"b", "[z-a]", kMalformed},
    MatchCase{"a", "[abc", kMalformed}, MatchCase{"a", "[", kMalformed}, MatchCase{"a", "a[!", kMalformed},
    MatchCase{"x", "*[", kMalformed}));

INSTANTIATE_TEST_SUITE_P(CodePoints, WildcardRule, ::testing::Values(
    MatchCase{"😀", "?", true}, MatchCase{"😀", "??", false}, MatchCase{"a😀b", "a?b", true},
    MatchCase{"😁", "[😀-😂]", true}, MatchCase{"中文", "中?", true}, MatchCase{"😀", "[!a]", true}));

TEST(WildcardMatchCost, ManyStarsAgainstALongTextThatFailsStillAnswers)
{
    // A backtracking matcher would take exponential time here; this must simply finish.
    QString pattern;
    for (int i = 0; i < 29; ++i)
        pattern += "*a";
    pattern += "*b";
    EXPECT_EQ(WildcardMatch(QString(1000, u'a'), pattern), false);
}

TEST(UpperCasing, MapsOneForOneAndKeepsTheLength)
{
    EXPECT_EQ(search::upperCased(QStringLiteral("straße")), QStringLiteral("STRAßE"));
    EXPECT_EQ(search::upperCased(QStringLiteral("éa1中-z😀")), QStringLiteral("ÉA1中-Z😀"));
    EXPECT_EQ(search::trimBlanks(QStringLiteral("  \ta b\t  ")), QStringLiteral("\ta b\t"));
}

// A name's bytes become the text the tests see as the names' own text rule has it, whether they
// are well-formed UTF-8, decoded on the way, or not (GB18030, stray bytes), decoded as text.
TEST(FileNameDecoding, AgreesWithTheNamesTextForEveryKindOfBytes)
{
    const QByteArray names[] = {
        "plain", "中文.txt", "\xF0\x9F\x98\x80 emoji", "\xD6\xD0\xCE\xC4.txt" /* GB18030 */,
        "\xC0\xAF overlong", "\xED\xA0\x80 surrogate", "\xF4\x90\x80\x80 past", "\xF5\x80\x80\x80",
        "cut \xE4\xB8", "\xE4\xB8", "\x80 stray", "a\xFF" "b",
    };
    for (const QByteArray& name : names) {
        for (const bool upper : {false, true}) {
            search::CodePoints decoded;
            search::decodeFileName(name, upper, decoded);
            const QString text = platform::fileNameText(name);
            EXPECT_EQ(search::fromCodePoints(decoded), upper ? search::upperCased(text) : text) << name.toHex().constData();
        }
    }
}

// The name test without 全字匹配: the name holds the pattern, with or without case, whatever the
// bytes (ASCII names are searched as they stand, the others decoded; both must agree with the
// rule). Random names and patterns of ASCII and of letters whose upper case is ASCII or not.
TEST(NameContainsTest, AcceptsExactlyTheNamesHoldingThePattern)
{
    const char* const pieces[] = {"a", "B", "z", "Z", "1", ".", "-", " ", "é", "ı", "ſ", "中", "\xFF"};
    std::mt19937 rng(7);
    const auto text = [&](int most) {
        QByteArray bytes;
        for (int n = int(rng() % uint32_t(most + 1)); n > 0; --n)
            bytes += pieces[rng() % std::size(pieces)];
        return bytes;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString pattern = QString::fromUtf8(text(3));
        const bool caseSensitive = rng() % 2;
        if (!search::extensionPatternOf(pattern).isEmpty())
            continue; // an extension filter is a rule of its own
        const search::MatchCriteria criteria = search::makeMatchCriteria(pattern, 0, false, caseSensitive, true);
        search::EntryFilter filter(criteria);
        const search::CodePoints typed = search::toCodePoints(criteria.NamePattern); // blanks trimmed
        const search::CodePoints wanted = caseSensitive ? typed : search::upperCased(typed);
        for (int i = 0; i < 8; ++i) {
            QByteArray name = text(8);
            if (name.isEmpty())
                name = "x";
            search::CodePoints decoded;
            search::decodeFileName(name, !caseSensitive, decoded);
            const bool holds = search::CodePointView(decoded).find(wanted) != search::CodePointView::npos;
            EXPECT_EQ(filter.accepts(name, false, 0u), holds)
                << name.toHex().constData() << " against " << pattern.toStdString() << (caseSensitive ? ", with case" : "");
        }
    }
}

TEST(GetExtension, TextAfterTheLastDotOrTheWholeText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a.b.txt", "txt"}, {".profile", "profile"}, {"README", "README"}, {"*.*", "*"},
        {"a.", ""}, {"Song.Mp3", "Mp3"}};
    for (auto [text, ext] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(search::GetExtension(QString(text)), QString(ext));
        const search::CodePoints cp = search::toCodePoints(QString(text));
        EXPECT_EQ(search::fromCodePoints(search::GetExtension(search::CodePointView(cp))), QString(ext));
    }
}

// Which category indexes a name passes, through the walk's own filter, which upper-cases the
// extension one way with case and another without: both must agree.
std::vector<int> categoriesOf(const QString& name, bool isFolder)
{
    std::vector<int> passed;
    for (int i = 0; i < 10; ++i) {
        bool accepted[2];
        for (const bool caseSensitive : {false, true}) {
            search::EntryFilter filter(search::makeMatchCriteria(QString(), i, false, caseSensitive, true));
            accepted[caseSensitive] = filter.accepts(name.toUtf8(), isFolder, 0u);
        }
        EXPECT_EQ(accepted[0], accepted[1]) << name.toStdString() << " in category " << i;
        if (accepted[0])
            passed.push_back(i);
    }
    return passed;
}

TEST(FileTypeCategories, EachRuleOfTheTable)
{
    using V = std::vector<int>;
    EXPECT_EQ(categoriesOf("Song.Mp3", false), (V{0, 4}));
    EXPECT_EQ(categoriesOf("tune.midi", false), (V{0, 4}));
    EXPECT_EQ(categoriesOf("movie.cda", false), (V{0, 4, 5}));
    EXPECT_EQ(categoriesOf("photo.tif", false), (V{0}));
    EXPECT_EQ(categoriesOf("photo.jpe", false), (V{0}));
    EXPECT_EQ(categoriesOf("photo.TIFF", false), (V{0, 3}));
    EXPECT_EQ(categoriesOf("archive.tar.mp3", false), (V{0, 4}));
    EXPECT_EQ(categoriesOf("page.html.bak", false), (V{0}));
    EXPECT_EQ(categoriesOf("ICO", false), (V{0, 7}));
    EXPECT_EQ(categoriesOf("setup.exe", false), (V{0, 1}));
    EXPECT_EQ(categoriesOf("pics.jpg", true), (V{0, 9}));
    EXPECT_EQ(categoriesOf("cursor.ani", false), (V{0, 8}));
    // The sound list keeps its doubled "MIDI": 22 entries.
    EXPECT_EQ(search::fileTypeCategories().at(4).extensions.size(), 22u);
}

} // namespace
