#include "search/results/result_csv.h"

#include "platform/files/file_name_text.h"
#include "search/results/result_list.h"

#include <charconv>
#include <cstdlib>
#include <ctime>

namespace search {
namespace {

bool needsQuotes(QByteArrayView field)
{
    for (const char c : field)
        if (c == ',' || c == '"' || c == '\n' || c == '\r')
            return true;
    return false;
}

// Inside quotes: every quote doubled.
void appendQuoted(QByteArray& out, QByteArrayView text)
{
    qsizetype from = 0;
    for (qsizetype quote = text.indexOf('"'); quote >= 0; quote = text.indexOf('"', from)) {
        out.append(text.sliced(from, quote + 1 - from));
        out.append('"');
        from = quote + 1;
    }
    out.append(text.sliced(from));
}

// The text the list shows for a name or a path, in UTF-8: the bytes themselves where they are
// UTF-8 already, as they are for nearly every name.
QByteArray shownName(QByteArrayView name)
{
    return name.isValidUtf8() ? name.toByteArray() : platform::fileNameText(name).toUtf8();
}

QByteArray shownPath(const QByteArray& path)
{
    return QByteArrayView(path).isValidUtf8() ? path : platform::pathText(path).toUtf8();
}

template <typename Number>
void appendNumber(QByteArray& out, Number n, int width = 0)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    for (int pad = width - int(end - digits); pad > 0; --pad)
        out.append('0');
    out.append(digits, end - digits);
}

} // namespace

ResultCsv::ResultCsv()
{
    ::tzset(); // the zone the list shows its times in, as the environment now names it
}

QByteArray ResultCsv::header()
{
    return QByteArrayLiteral("\xEF\xBB\xBF") + QStringLiteral("文件名称,文件位置,文件大小,修改日期\r\n").toUtf8();
}

void ResultCsv::appendRow(QByteArray& out, const ResultRow& row)
{
    const QByteArray name = shownName(row.name);
    const bool nameNeedsQuotes = needsQuotes(name);
    if (nameNeedsQuotes) {
        out.append('"');
        appendQuoted(out, name);
        out.append('"');
    } else {
        out.append(name);
    }
    out.append(',');

    if (row.folder.constData() != folder_.constData() || row.folder.size() != folder_.size()) {
        folder_ = row.folder;
        folderText_ = shownPath(row.folder);
        folderNeedsQuotes_ = needsQuotes(folderText_);
    }
    // The root's entries have the empty folder; the path has one "/" before the name.
    const bool pathNeedsQuotes = folderNeedsQuotes_ || nameNeedsQuotes;
    if (pathNeedsQuotes)
        out.append('"');
    if (pathNeedsQuotes)
        appendQuoted(out, folderText_);
    else
        out.append(folderText_);
    if (!folderText_.endsWith('/'))
        out.append('/');
    if (pathNeedsQuotes) {
        appendQuoted(out, name);
        out.append('"');
    } else {
        out.append(name);
    }
    out.append(',');

    if (row.hasSize)
        appendNumber(out, row.size);
    out.append(',');
    if (row.hasModified())
        appendIsoTime(out, row.modified);
    out.append("\r\n");
}

void appendIsoTime(QByteArray& out, int64_t seconds)
{
    const time_t t = time_t(seconds);
    struct tm local;
    if (!::localtime_r(&t, &local))
        return;
    const bool wholeMinutes = local.tm_gmtoff % 60 == 0;
    if (!wholeMinutes && !::gmtime_r(&t, &local))
        return;
    const int64_t year = int64_t(local.tm_year) + 1900;
    if (year < 0 || year > 9999) // the expanded years of ISO 8601: a sign, then five digits or more
        out.append(year < 0 ? '-' : '+');
    appendNumber(out, std::llabs(year), year < 0 || year > 9999 ? 5 : 4);
    out.append('-');
    appendNumber(out, local.tm_mon + 1, 2);
    out.append('-');
    appendNumber(out, local.tm_mday, 2);
    out.append('T');
    appendNumber(out, local.tm_hour, 2);
    out.append(':');
    appendNumber(out, local.tm_min, 2);
    out.append(':');
    appendNumber(out, local.tm_sec, 2);
    if (!wholeMinutes) {
        out.append('Z');
        return;
    }
    const long offset = std::labs(local.tm_gmtoff) / 60;
    out.append(local.tm_gmtoff < 0 ? '-' : '+');
    appendNumber(out, offset / 60, 2);
    out.append(':');
    appendNumber(out, offset % 60, 2);
}

} // namespace search
