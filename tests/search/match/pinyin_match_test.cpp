// Names found by their pinyin, as the walk's filter judges them with 拼音匹配 ticked and not.
#include "search/match/entry_filter.h"
#include "search/match/match_criteria.h"

#include <gtest/gtest.h>

namespace {

enum Options { Contains = 0, WholeWord = 1, CaseSensitive = 2 };

struct PinyinCase {
    const char* name;
    const char* typed;
    int options;
    bool ticked;   // found with 拼音匹配 ticked
    bool unticked; // found without it
};

void PrintTo(const PinyinCase& c, std::ostream* os)
{
    *os << "'" << c.name << "' by '" << c.typed << "'" << ((c.options & WholeWord) ? " whole word" : "")
        << ((c.options & CaseSensitive) ? " case-sensitive" : "");
}

bool found(const PinyinCase& c, bool pinyin)
{
    const search::MatchCriteria criteria = search::makeMatchCriteria(
        QString::fromUtf8(c.typed), 0, c.options & WholeWord, c.options & CaseSensitive, true, pinyin);
    search::EntryFilter filter(criteria);
    return filter.accepts(QByteArrayView(c.name), false, 0);
}

class PinyinRule : public ::testing::TestWithParam<PinyinCase> {};

TEST_P(PinyinRule, FindsTheNameOnlyWhereItsReadingsMatch)
{
    const PinyinCase& c = GetParam();
    EXPECT_EQ(found(c, true), c.ticked) << "ticked";
    EXPECT_EQ(found(c, false), c.unticked) << "unticked";
}

INSTANTIATE_TEST_SUITE_P(FullInitialsAndMixed, PinyinRule, ::testing::Values(
    PinyinCase{"办公计划.docx", "bgjh", Contains, true, false},
    PinyinCase{"办公计划.docx", "bangong", Contains, true, false},
    PinyinCase{"办公计划.docx", "bgjihua", Contains, true, false},
    PinyinCase{"办公计划.docx", "bg", Contains, true, false},
    PinyinCase{"办公计划.docx", "gongji", Contains, true, false},
    PinyinCase{"办公计划.docx", "banggong", Contains, false, false},
    PinyinCase{"办公计划.docx", "bgjh.docx", Contains, true, false},
    PinyinCase{"办公计划.docx", "BGJH", CaseSensitive, true, false},
    PinyinCase{"办公计划.docx", "BgJh", Contains, true, false},
    PinyinCase{"报告办公.txt", "报告bg", Contains, true, false},
    PinyinCase{"报告办公.txt", "baogao办", Contains, true, false},
    PinyinCase{"辦公.doc", "bg", Contains, true, false},
    // Another name holding "bg" is found by its letters, as it always was.
    PinyinCase{"bg-办公.txt", "bg", Contains, true, true},
    PinyinCase{"budget.txt", "bg", Contains, false, false}));

INSTANTIATE_TEST_SUITE_P(Polyphones, PinyinRule, ::testing::Values(
    PinyinCase{"银行流水.xlsx", "yinhang", Contains, true, false},
    PinyinCase{"银行流水.xlsx", "yinxing", Contains, true, false},
    PinyinCase{"重庆火锅.txt", "cq", Contains, true, false},
    PinyinCase{"重庆火锅.txt", "chongqing", Contains, true, false},
    PinyinCase{"重庆火锅.txt", "zhongqing", Contains, true, false},
    PinyinCase{"音乐.mp3", "yinyue", Contains, true, false},
    PinyinCase{"音乐.mp3", "yinle", Contains, true, false},
    PinyinCase{"长城.jpg", "changcheng", Contains, true, false},
    PinyinCase{"长城.jpg", "zhangcheng", Contains, true, false},
    // "ü" typed as "v", or as "u"; after j, q, x and y "u" already stands for it.
    PinyinCase{"绿色.png", "lv", Contains, true, false},
    PinyinCase{"绿色.png", "lu", Contains, true, false},
    PinyinCase{"女儿.txt", "nver", Contains, true, false},
    PinyinCase{"句子.txt", "juzi", Contains, true, false},
    PinyinCase{"句子.txt", "jvzi", Contains, true, false},
    // And as itself, in either case.
    PinyinCase{"绿色.png", "lü", Contains, true, false},
    PinyinCase{"女儿.txt", "NÜ", Contains, true, false},
    PinyinCase{"女儿", "NÜER", WholeWord | CaseSensitive, true, false},
    PinyinCase{"女儿.txt", "nüer.txt", WholeWord, true, false}));

INSTANTIATE_TEST_SUITE_P(WholeWord, PinyinRule, ::testing::Values(
    PinyinCase{"办公计划.docx", "jh.docx", WholeWord, false, false},
    PinyinCase{"办公计划.docx", "bgjh.docx", WholeWord, true, false},
    PinyinCase{"办公计划.docx", "bg*", WholeWord, true, false},
    PinyinCase{"办公计划.docx", "bg", WholeWord, false, false},
    // "?" is one character of the name, a Han character too, never one letter of its reading.
    PinyinCase{"办公计划.docx", "b?jh.docx", WholeWord, true, false},
    PinyinCase{"办公计划.docx", "b?gjh.docx", WholeWord, false, false},
    PinyinCase{"报告办公.txt", "报告bg.txt", WholeWord, true, false},
    PinyinCase{"报告办公.txt", "*gong.t?t", WholeWord, true, false},
    PinyinCase{"重庆.txt", "[!x]q.txt", WholeWord, true, false}));

INSTANTIATE_TEST_SUITE_P(Corners, PinyinRule, ::testing::Values(
    // Longer than the name's pinyin.
    PinyinCase{"办公.txt", "bangongs", Contains, false, false},
    PinyinCase{"办公", "bangongx", WholeWord, false, false},
    // Exactly as many letters as the longest readings give, and one more.
    PinyinCase{"壮壮", "zhuangzhuang", WholeWord, true, false},
    PinyinCase{"壮壮", "zhuangzhuang*", WholeWord, true, false},
    PinyinCase{"壮壮", "zhuangzhuangz", WholeWord, false, false},
    PinyinCase{"x壮壮.txt", "zhuangzhuang.txt", Contains, true, false},
    // A syllable of the pattern may span two characters: xi + an.
    PinyinCase{"西安.txt", "xia", Contains, true, false},
    PinyinCase{"西安.txt", "xian", Contains, true, false},
    PinyinCase{"先.txt", "xian", Contains, true, false},
    PinyinCase{"西安.txt", "xiang", Contains, false, false},
    PinyinCase{"办公.txt", "", Contains, true, true},
    PinyinCase{"办公.txt", "*", Contains, true, true},
    PinyinCase{"办公.txt", "*", WholeWord, false, false},
    PinyinCase{"办公.txt", "**", WholeWord, true, true},
    // Only Han characters have readings: a letter of the pattern still matches a letter as it is.
    PinyinCase{"abc办.txt", "ABCb", CaseSensitive, false, false},
    PinyinCase{"abc办.txt", "abcb", CaseSensitive, true, false}));

TEST(PinyinCost, ALongNameOfPolyphonesIsMatchedWithoutSpellingOutItsReadings)
{
    // 40 characters of five readings each: every spelling of them would be 5^40 strings.
    const QByteArray name = QString(40, QChar(u'行')).toUtf8(); // háng, hàng, héng, xíng, xìng
    QString failing;
    for (int i = 0; i < 39; ++i)
        failing += "x";
    failing += "q";
    search::EntryFilter filter(search::makeMatchCriteria(failing, 0, false, false, true, true));
    EXPECT_FALSE(filter.accepts(name, false, 0));
    search::EntryFilter whole(search::makeMatchCriteria("h*xingh?x", 0, true, false, true, true));
    EXPECT_TRUE(whole.accepts(name, false, 0));
}

} // namespace
