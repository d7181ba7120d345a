#pragma once

#include "search/results/row_name.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QMetaObject>

#include <cstdint>
#include <vector>

namespace search {

class ResultList;

// The rows a search showed from the walks' memory, confirmed by the walk that follows them. The
// list holds the memory's rows folder by folder, in the order a walk finds them; they keep joining
// it while the walk runs, a folder's together, but only those of folders the walk has not begun.
// As the walk lists a folder, each entry it accepts confirms the row of the same folder and name,
// and once the whole folder is listed its rows still not confirmed name entries gone, and leave.
// An entry the memory did not know is a new row at the list's end. When the walk ends by itself,
// what is not confirmed goes and the rows take the walk's order, so that the list is what a walk
// alone would have shown; a stop leaves the rest as it is, not confirmed.
//
// The rows of a folder are found by its path in an index of the list, kept in step with the rows
// joining and the removals made here; where the list changes otherwise (a row deleted or renamed
// from the window), the index is made again from the list when next needed.
class RowConfirmation {
public:
    // folders: about how many folders the rows from memory and the walk are of.
    explicit RowConfirmation(ResultList& list, size_t folders = 0);
    ~RowConfirmation();
    RowConfirmation(const RowConfirmation&) = delete;
    RowConfirmation& operator=(const RowConfirmation&) = delete;

    // A row from memory joined the list at this row (after every row there), while the walk
    // had not begun its folder.
    void remembered(int row, const QByteArray& folder);
    // Whether the walk has begun listing the folder, or listed it. Asked for row after row of one
    // folder: the answer for the last folder asked about is kept.
    bool begun(const QByteArray& folder);
    // The memory's answer is all in the list: no row joins any more, so begun() is not asked
    // again, and only the folders that hold rows need their turn kept.
    void answerShown() { answerShown_ = true; }

    // The list's row that an entry the walk accepted confirms; -1 where none does, and the entry
    // is to be added as a new row. Entries come in the walk's order.
    int rowFor(const QByteArray& folder, QByteArrayView name);
    // The walk listed the folder to its end (or found it gone, unreadable or passed over it).
    void folderDone(const QByteArray& folder);
    // The rows of entries found gone leave the list; before each flush.
    void removeGone();
    // The walk ended by itself.
    void complete();

private:
    struct Folder {
        QByteArray path;
        int first = 0, count = 0; // the list's rows of the memory's entries of the folder
    };

    void index();
    // The walk is in this folder: begun here, or the index made again where it went stale.
    void listing(const QByteArray& folder);
    void begin(const QByteArray& folder);
    // The current folder's rows from memory, as the index has them.
    void takeUpRows();
    // The current folder holds rows: its turn counts for the walk's order.
    void keepTurn();
    void end();
    int find(QByteArrayView name);
    void takeWalkOrder();

    ResultList& list_;
    std::vector<QMetaObject::Connection> watching_;
    bool changing_ = false; // the list changes by this object's hand
    bool stale_ = false;    // the index no longer says where the rows are

    std::vector<Folder> folders_; // by their first row
    QHash<QByteArray, size_t> folderAt_;

    // The folder the walk lists now.
    QByteArray current_;
    bool listing_ = false;
    static constexpr size_t kNone = SIZE_MAX;
    size_t rows_ = kNone; // its rows from memory, in folders_, if any
    int cursor_ = 0, lastMatched_ = -1;
    QHash<QByteArray, int> byName_; // made where the rows do not come in the walk's order
    bool outOfOrder_ = false;
    size_t lastRun_ = kNone; // of the last folder begun that had rows from memory
    // Whether the list may have left the walk's order: a folder's rows out of it, a folder taken
    // up before one whose rows joined earlier, a new row, a change from the window. Where none
    // of these happened, the list is in the walk's order without a look.
    bool mayBeOutOfOrder_ = false;
    std::vector<RowName> listedNames_;

    QByteArray askedFolder_; // the last folder begun() was asked about, and its answer
    bool askedBegun_ = false;

    std::vector<int> gone_;
    // The walk's order: each folder's turn, and within a folder whose rows are out of its order,
    // each name's place.
    QHash<QByteArray, uint32_t> turn_;
    uint32_t turns_ = 0;         // folders begun
    bool answerShown_ = false;
    bool turnKept_ = false;      // the current folder's, in turn_
    QHash<QByteArray, QHash<QByteArray, uint32_t>> placeOf_;
};

} // namespace search
