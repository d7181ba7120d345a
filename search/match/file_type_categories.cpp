#include "search/match/file_type_categories.h"

namespace search {
namespace {

FileTypeCategory category(const char16_t* caption, FolderRule rule,
                          std::initializer_list<const char32_t*> extensions = {})
{
    FileTypeCategory c{QString::fromUtf16(caption), rule, {}};
    for (const char32_t* e : extensions)
        c.extensions.emplace_back(e);
    return c;
}

} // namespace

const std::vector<FileTypeCategory>& fileTypeCategories()
{
    using enum FolderRule;
    static const std::vector<FileTypeCategory> table = {
        category(u"所有文件", FilesAndFolders),
        category(u"应用程序", FilesOnly, {U"EXE"}),
        category(u"文本文件", FilesOnly, {U"TXT", U"DOC", U"RTF"}),
        category(u"图片文件", FilesOnly,
                 {U"BMP", U"GIF", U"JPG", U"JPEG", U"PSD", U"PCX", U"PNG", U"TIFF", U"DXF", U"WMF",
                  U"EMF", U"SWF", U"SVG"}),
        // "MIDI" stands twice on purpose: the list is shown as it is given; matching is unchanged.
        category(u"声音文件", FilesOnly,
                 {U"MP3", U"MP1", U"MP2", U"WAV", U"WMA", U"MID", U"MIDI", U"RA", U"CDA", U"CMF",
                  U"VOC", U"RMI", U"MIDI", U"PCM", U"AIF", U"MOD", U"ST3", U"XT", U"APE", U"AU",
                  U"M3U", U"SND"}),
        category(u"视频文件", FilesOnly,
                 {U"MPG", U"MPEG", U"MPE", U"M2V", U"WMV", U"MOV", U"RMVB", U"ASF", U"CDA", U"VQF"}),
        category(u"网页文件", FilesOnly,
                 {U"HTM", U"HTML", U"MHT", U"ASP", U"ASPX", U"PHP", U"JSP", U"SHTML"}),
        category(u"图标文件", FilesOnly, {U"ICO", U"ICL"}),
        category(u"光标文件", FilesOnly, {U"ANI", U"CUR"}),
        category(u"文件夹", FoldersOnly),
    };
    return table;
}

const FileTypeCategory* categoryAt(int index)
{
    const auto& table = fileTypeCategories();
    return index >= 0 && size_t(index) < table.size() ? &table[size_t(index)] : &table.front();
}

bool FileTypeCategory::admitsKind(bool isFolder) const
{
    switch (folderRule) {
    case FolderRule::FilesAndFolders:
        return true;
    case FolderRule::FoldersOnly:
        return isFolder;
    case FolderRule::FilesOnly:
        return !isFolder;
    }
    return true;
}

} // namespace search
