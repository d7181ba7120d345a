#pragma once

#include "platform/files/entry_identity.h"

#include <QAbstractTableModel>
#include <QByteArray>

#include <cstdint>
#include <deque>
#include <functional>

namespace search {

// One accepted entry. The folder path is shared with the folder queue; the name keeps the file
// system's own bytes, and every action on the row uses those.
struct ResultRow {
    QByteArray folder;
    QByteArray name;
    int64_t size = 0;
    uint32_t icon = 0;   // image number, from the icon source
    // Beside the icon, where they cost no padding of their own: a million rows are held.
    bool hasSize = false; // folders, and files whose length could not be read, show none
    bool isFolder = false; // a directory when the walk listed it
    platform::EntryIdentity folderIdentity; // of the folder the walk listed it in; unknown likewise

    QByteArray pathBytes() const;
    QString nameText() const;
    QString pathText() const;
    QString sizeText() const;
};

// The result rows behind the list view: name, full path, size text, and the row's icon.
// The walk appends rows; they reach the view at the next flush, one insertion per batch, so a
// million rows never cost a million notifications.
class ResultList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, PathColumn, SizeColumn, ColumnCount };

    explicit ResultList(QObject* parent = nullptr);

    // How a row's image number turns into what the view shows (an icon on the widget side).
    void setDecoration(std::function<QVariant(uint32_t)> decoration);

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
    void removeResultRow(int row);

    const ResultRow& row(int row) const { return rows_[size_t(row)]; }
    // A rename: the row keeps its folder, size and icon, and takes the new name.
    void renameResultRow(int row, const QByteArray& newName);
    // A folder was renamed: the rows of entries inside it take the new path.
    void movePrefix(QByteArrayView from, QByteArrayView to);

private:
    std::deque<ResultRow> rows_;
    size_t shown_ = 0;
    std::function<QVariant(uint32_t)> decoration_;
};

} // namespace search
