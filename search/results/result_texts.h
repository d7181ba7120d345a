#pragma once

#include <QString>

#include <cstdint>

namespace search {

// A number as the status and size texts write it: one blank before it, or "-" when negative.
QString numberText(int64_t n);
// The number left-aligned in a 15-character field, then "字节".
QString sizeText(int64_t bytes);
// A modification time (seconds since the epoch) in the local time zone, as the Chinese locale
// writes a short date and time: "2026/3/5 14:03".
QString modifiedText(int64_t seconds);
// "找到 12 个文件"
QString countText(int64_t rows);
// How a search ended, for panel 2: "已完成搜索", with the count of folders it could not read, of
// folders swapped for others while it ran, and a word on wildcards where a search found nothing
// because the name's wildcards were taken as characters, those there are in one bracket; or
// "无法读取搜索位置" where the location itself could not be read, which says all there is to say.
// A search stopped before its walk confirmed every row shown from memory counts those too.
QString endText(bool locationUnreadable, int64_t unreadableFolders, int64_t swappedFolders = 0,
                bool wildcardsTakenLiterally = false,
                int64_t unconfirmedRows = 0);

} // namespace search
