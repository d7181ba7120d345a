#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace search {

struct ResultRow;

// The result rows as a spreadsheet reads them: UTF-8 with a byte-order mark (so that Chinese
// names open right), RFC 4180 (a field holding a comma, a quote or a line break is quoted, its
// quotes doubled; lines end in CR LF), the columns of the list with the size as a plain number
// of bytes (empty for a folder) and the time as ISO 8601 with its offset. Names and paths are
// written as the list shows them, so a name that is not UTF-8 reads as it does there.
class ResultCsv {
public:
    ResultCsv();

    // The byte-order mark and the header line.
    static QByteArray header();
    // One row's line, appended to out.
    void appendRow(QByteArray& out, const ResultRow& row);

private:
    // Rows of one folder share its path's bytes: its text is made once for each run of them.
    QByteArray folder_;
    QByteArray folderText_;
    bool folderNeedsQuotes_ = false;
};

// A time (seconds since the epoch) in the local time zone as ISO 8601 with its offset,
// "2026-03-05T14:03:27+08:00"; in UTC ("…Z") where the zone's offset then had seconds, which
// ISO 8601 cannot write; nothing for a time past what the calendar holds.
void appendIsoTime(QByteArray& out, int64_t seconds);

} // namespace search
