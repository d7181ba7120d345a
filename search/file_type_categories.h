#pragma once

#include "search/text_rules.h"

#include <QString>

#include <vector>

namespace search {

enum class FolderRule { FilesAndFolders, FilesOnly, FoldersOnly };

struct FileTypeCategory {
    QString caption;
    FolderRule folderRule;
    std::vector<CodePoints> extensions; // upper case, without the dot
};

// The ten entries of the file type list, in list order; a search picks one by its index.
const std::vector<FileTypeCategory>& fileTypeCategories();

// Whether an entry may become a row under a category: by its extension, already upper-cased,
// and whether it is a folder. An index outside the table lets everything pass.
bool passesCategory(int index, CodePointView upperExtension, bool isFolder);

} // namespace search
