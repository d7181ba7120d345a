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

#include <algorithm>
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

// Every name test of the walk's filter against the rules, whatever the bytes: ASCII names are
// judged as they stand, the others decoded, and both must agree with the rules. Random names and
// patterns of ASCII, of letters whose upper case is ASCII or not, of Han characters and of stray
// bytes; with and without case, 全字匹配, 拼音匹配, an extension filter and each category.
TEST(NameTests, AcceptExactlyTheNamesTheRulesAccept)
{
    const char* const pieces[] = {"a", "B", "z", "Z", "i", "S", "1", ".", "-", " ", "é", "ı", "ſ", "中",
                                  "\xFF", "*", "?", "jpg", "TxT"};
    const char* const patternOnly[] = {"#", "[a-c]", "[!.]", "[", "*."};
    // Extensions and the category holding each (none for "é").
    const std::pair<const char*, int> extensions[] = {{"jpg", 3}, {"JPG", 3}, {"TxT", 2}, {"exe", 1}, {"Mp3", 4}, {"é", 0}};
    std::mt19937 rng(7);
    const auto piece = [&] { return QByteArray(pieces[rng() % std::size(pieces)]); };
    // Names and patterns alike come from one name's pieces, each kept or changed, so that many
    // names match: in a pattern a piece may become "*", "?" or another wildcard, in a name it may
    // be left out or become another piece.
    const auto vary = [&](const QByteArrayList& from, qsizetype first, qsizetype last, bool forPattern) {
        QByteArray bytes;
        for (qsizetype k = first; k < last; ++k) {
            switch (rng() % 10) {
            case 0:
                bytes += forPattern ? "*" : "";
                break;
            case 1:
                bytes += forPattern ? QByteArray("?") : piece();
                break;
            case 2:
                bytes += forPattern ? QByteArray(patternOnly[rng() % std::size(patternOnly)]) : piece();
                break;
            default:
                bytes += from[k];
            }
        }
        return bytes;
    };
    for (int round = 0; round < 3000; ++round) {
        QByteArrayList base;
        for (int n = int(rng() % 7); n > 0; --n)
            base << piece();
        int categoryIndex = rng() % 2 ? 0 : int(rng() % 10);
        if (rng() % 2) {
            const auto [extension, holder] = extensions[rng() % std::size(extensions)];
            base << "." << extension;
            if (rng() % 3 == 0)
                categoryIndex = holder;
        }
        const auto upTo = [&](qsizetype most) { return qsizetype(rng() % uint32_t(most + 1)); };
        const qsizetype first = rng() % 3 ? 0 : upTo(base.size());
        const qsizetype last = rng() % 3 ? base.size() : first + upTo(base.size() - first);
        QByteArray patternBytes = vary(base, first, last, true);
        if (rng() % 4 == 0) // an extension filter, of the last piece
            patternBytes = (rng() % 2 ? "*." : "?.") + vary(base, std::max<qsizetype>(0, base.size() - 1), base.size(), true);
        const QString pattern = QString::fromUtf8(patternBytes);
        const bool wholeWord = rng() % 2, caseSensitive = rng() % 2, pinyin = rng() % 2;
        const search::MatchCriteria criteria =
            search::makeMatchCriteria(pattern, categoryIndex, wholeWord, caseSensitive, true, pinyin);
        search::EntryFilter filter(criteria);
        const auto folded = [&](const QString& typed) {
            const search::CodePoints c = search::toCodePoints(typed);
            return caseSensitive ? c : search::upperCased(c);
        };
        const search::CodePoints wanted = folded(criteria.NamePattern), extWanted = folded(criteria.ExtPattern);
        for (int i = 0; i < 8; ++i) {
            QByteArray name = i == 0 ? base.join() : vary(base, 0, base.size(), false);
            if (name.isEmpty())
                name = "x";
            if (pinyin && name.contains("中"))
                continue; // readings may match it: the pinyin tests' concern; without Han, no reading
            const bool isFolder = rng() % 4 == 0;
            search::CodePoints decoded;
            search::decodeFileName(name, !caseSensitive, decoded);
            const search::CodePoints extension = search::upperCased(search::GetExtension(search::CodePointView(decoded)));
            const auto& allowed = criteria.category->extensions;
            bool expected = criteria.category->admitsKind(isFolder)
                && (allowed.empty() || std::ranges::find(allowed, extension) != allowed.end());
            if (wholeWord) {
                expected = expected && search::WildcardMatch(decoded, wanted).value_or(false);
            } else {
                const bool holds = search::CodePointView(decoded).find(wanted) != search::CodePointView::npos;
                const bool extMatches = !criteria.ExtPattern.isEmpty()
                    && search::WildcardMatch(search::GetExtension(search::CodePointView(decoded)), extWanted).value_or(true);
                expected = expected && (holds || extMatches);
            }
            EXPECT_EQ(filter.accepts(name, isFolder, 0u), expected)
                << name.toHex().constData() << " against '" << pattern.toStdString() << "' in category " << categoryIndex
                << (isFolder ? ", a folder" : "") << (wholeWord ? ", whole word" : "") << (caseSensitive ? ", with case" : "")
                << (pinyin ? ", pinyin" : "");
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
