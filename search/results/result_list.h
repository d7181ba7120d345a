#pragma once

#include "platform/files/entry_identity.h"
#include "search/results/row_name.h"

#include <QAbstractTableModel>
#include <QByteArray>

#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <vector>

namespace search {

// One accepted entry. The folder path is shared with the folder queue; the name keeps the file
// system's own bytes, and every action on the row uses those.
struct ResultRow {
    static constexpr int64_t kUnknownTime = std::numeric_limits<int64_t>::min();

    QByteArray folder;
    RowName name;
    int64_t size = 0;
    int64_t modified = kUnknownTime; // seconds since the epoch; a rename keeps it
    // Packed in one word, with the folder's record in the next: a million rows are held.
    uint32_t icon : 29 = 0;     // image number, from the icon source (one per type of file)
    bool unconfirmed : 1 = false; // shown from the walks' memory, not yet listed again
    bool hasSize : 1 = false;   // folders, and files whose length could not be read, show none
    bool isFolder : 1 = false;  // a directory when the walk listed it
    uint32_t listedIn = 0;      // the list's record of the folder the walk listed it in; 0: unknown

    QByteArray pathBytes() const;
    QString nameText() const;
    QString pathText() const;
    QString sizeText() const;
    QString modifiedText() const;
    bool hasModified() const { return modified != kUnknownTime; }
};
static_assert(sizeof(void*) != 8 || sizeof(ResultRow) == 72, "a million rows are held: a row stays at 72 bytes");

// The result rows behind the list view: name, full path, size text, modification time, and the
// row's icon.
// The walk appends rows; they reach the view at the next flush, one insertion per batch, so a
// million rows never cost a million notifications.
class ResultList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, PathColumn, SizeColumn, ModifiedColumn, ColumnCount };

    explicit ResultList(QObject* parent = nullptr);
    ~ResultList() override;

    // How a row's image number turns into what the view shows (an icon on the widget side).
    void setDecoration(std::function<QVariant(uint32_t)> decoration);
    // The foreground of the rows not yet confirmed (a grey brush on the widget side).
    void setUnconfirmedForeground(QVariant foreground) { unconfirmedForeground_ = std::move(foreground); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A row can be dragged out, as a copy, and copied: its path as text and as a file URI.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    void append(ResultRow row);   // waits for the next flush
    void flush();                 // hands waiting rows to the view
    bool hasWaitingRows() const { return rows_.size() > shown_; }
    int64_t totalRows() const { return int64_t(rows_.size()); } // shown and waiting
    void clear();
    // The identity of a folder the walk listed rows in, kept once for all of them; a row's
    // listedIn names it. Unknown for a row that names no record of this list.
    uint32_t recordFolder(const platform::EntryIdentity& identity);
    platform::EntryIdentity listedIn(const ResultRow& row) const;
    void removeResultRow(int row);
    // An entry was deleted: the rows of it and of everything below it go, rows not yet shown
    // included. One pass finds them; each run of adjacent shown rows goes in one removal, so a
    // sorted view and the selection follow. How many rows went.
    int64_t removeEntry(QByteArrayView path);
    // The same for many entries at once, still in one pass, where one pass each would cost the
    // entries times the rows.
    int64_t removeEntries(const std::vector<QByteArray>& paths);

    // Rows shown from the walks' memory, not yet confirmed by a walk, waiting rows included.
    int64_t unconfirmedRows() const { return unconfirmed_; }
    // An entry that a row from memory names was seen where it is: the row shows as confirmed.
    void confirmEntry(QByteArrayView path);
    // A walk listed the entry a row shown from memory names: the row takes what the walk read
    // (size, time, kind, icon, folder record) and shows as confirmed at the next flush.
    void confirmRow(int row, const ResultRow& listed);
    // These shown rows go (ascending, each once), each run of adjacent ones in one removal.
    int64_t removeRows(const std::vector<int>& rows);
    // Every row shown goes to a new place: newOrder[i] is the row that shows at i. Persistent
    // indexes follow their rows; movedTo() tells each old row's new place during the change.
    void reorder(const std::vector<int>& newOrder);
    int movedTo(int oldRow) const { return oldRow >= 0 && size_t(oldRow) < movedTo_.size() ? movedTo_[size_t(oldRow)] : oldRow; }

    const ResultRow& row(int row) const { return rows_[size_t(row)]; }
    // A rename: the row keeps its folder, size, time and icon, and takes the new name.
    void renameResultRow(int row, const QByteArray& newName);
    // A folder was renamed: the rows of entries inside it take the new path.
    void movePrefix(QByteArrayView from, QByteArrayView to);

private:
    struct Run {
        size_t first, end;
    };
    int64_t removeRuns(const std::vector<Run>& runs);
    void tellConfirmed();

    static constexpr size_t kFreedAside = 64 * 1024; // rows, at and above which clear() frees them on a thread

    std::deque<ResultRow> rows_;
    std::future<void> disposing_; // the rows of the last large list emptied, being freed
    std::vector<platform::EntryIdentity> folders_{platform::EntryIdentity{}}; // record 0: unknown
    size_t shown_ = 0;
    int64_t unconfirmed_ = 0; // rows with unconfirmed set, kept as they come, change and go
    std::function<QVariant(uint32_t)> decoration_;
    QVariant unconfirmedForeground_;
    // Rows confirmed since the last flush, and those among them whose shown values changed.
    int confirmedFirst_ = -1, confirmedLast_ = -1;
    int changedFirst_ = -1, changedLast_ = -1;
    std::vector<int> movedTo_; // during a reorder only
};

} // namespace search
