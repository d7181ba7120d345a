#pragma once

#include "search/match/text_rules.h"

#include <QString>

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <vector>

namespace search {

enum class FolderRule { FilesAndFolders, FilesOnly, FoldersOnly };

// One entry of the file type list: which entries may become rows under it. It never decides
// which folders are searched: every folder is.
struct FileTypeCategory {
    QString caption;
    FolderRule folderRule;
    std::vector<CodePoints> extensions; // upper case, without the dot; empty: any extension

    bool needsExtension() const { return !extensions.empty(); }
    // The folder rule alone.
    bool admitsKind(bool isFolder) const;
    // The extension rule alone, for an extension already upper-cased: code points, or an ASCII
    // name's bytes, each its own character.
    template <class Char>
    bool admitsExtension(std::basic_string_view<Char> upperExtension) const
    {
        return !needsExtension() || std::ranges::any_of(extensions, [&](const CodePoints& e) {
                   return std::ranges::equal(upperExtension, e, {}, [](Char c) { return char32_t(std::make_unsigned_t<Char>(c)); });
               });
    }
};

// The ten entries of the file type list, in list order.
const std::vector<FileTypeCategory>& fileTypeCategories();
// The entry at a position of the list; the first one (every entry passes) for any other index.
const FileTypeCategory* categoryAt(int index);

} // namespace search
