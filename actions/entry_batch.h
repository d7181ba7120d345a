#pragma once

#include "actions/background_operation.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace actions {

// How far one entry moves a batch's progress, split as the entry's own progress goes.
constexpr int64_t kBatchEntrySteps = 1000;

// The operation on one entry of a batch, run on the worker thread: its index in the batch, and
// the progress of that entry alone.
using EntryWork = std::function<platform::FileOperationResult(size_t index, platform::OperationProgress&)>;
// What this thread does once an entry's operation has ended: its index and what it did.
using EntryEnded = std::function<void(size_t index, const platform::FileOperationResult&)>;

// Runs work on count entries, one after the other, as one operation of runWithProgress: one
// progress window, one cancel. The bar moves by entries, and within an entry as far as that
// entry's own progress goes; the window shows the entry at hand. After each entry, ended runs on
// this thread, in the entries' order, while the worker goes on with the next, so that the window
// can follow each entry at once; every entry that ended has had it when this returns. A cancel
// stops the entry at hand where its operation stops and starts no other: those not started get
// no call. The result is ECANCELED after a cancel, else no error.
platform::FileOperationResult runForEachEntry(QWidget* owner, ProgressKind kind, const ProgressPolicy& policy,
                                              size_t count, const EntryWork& work, const EntryEnded& ended);

} // namespace actions
