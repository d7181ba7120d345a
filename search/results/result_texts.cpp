#include "search/results/result_texts.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace search {

QString numberText(int64_t n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

QString sizeText(int64_t bytes)
{
    return numberText(bytes).leftJustified(15, u' ') + QStringLiteral("字节");
}

QString modifiedText(int64_t seconds)
{
    static const QLocale chinese(QLocale::Chinese, QLocale::China);
    return chinese.toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

QString countText(int64_t rows)
{
    return QStringLiteral("找到") + numberText(rows) + QStringLiteral(" 个文件");
}

QString endText(bool locationUnreadable, int64_t unreadableFolders, int64_t swappedFolders,
                bool wildcardsTakenLiterally, int64_t unconfirmedRows)
{
    if (locationUnreadable)
        return QStringLiteral("无法读取搜索位置");
    QStringList notes;
    if (unreadableFolders > 0)
        notes << QStringLiteral("无法读取") + numberText(unreadableFolders) + QStringLiteral(" 个文件夹");
    if (swappedFolders > 0)
        notes << numberText(swappedFolders) + QStringLiteral(" 个文件夹在搜索中被更换");
    if (wildcardsTakenLiterally)
        notes << QStringLiteral("通配符需勾选全字匹配");
    if (unconfirmedRows > 0)
        notes << numberText(unconfirmedRows) + QStringLiteral(" 个结果未核对");
    if (notes.isEmpty())
        return QStringLiteral("已完成搜索");
    return QStringLiteral("已完成搜索（") + notes.join(u'；') + QStringLiteral("）");
}

} // namespace search
