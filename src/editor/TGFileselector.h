// The file list: the WAV files of the current file's folder, sorted, one
// 17-pixel row each, the current file highlighted. The folder is listed by
// the platform (Desktop::listWaveFiles); the rules of the list are here.
//
// UI thread only.
#pragma once

#include "editor/Canvas.h"

#include <string>
#include <vector>

namespace tam
{

class Desktop;

class TGFileselector
{
public:
    static constexpr int maxFiles = 501;
    static constexpr int rowHeight = 17;

    /// Lists the folder of `path`: at most 501 files as the file system
    /// returns them, then sorted case-insensitively.
    void buildList(const std::string& path, Desktop& desktop);
    /// Paints the rows; the current file (matched exactly, case included)
    /// on a grey band.
    void drawList(Canvas& canvas, const std::string& currentName) const;
    /// Top of the current file's row, 0 when it is not listed.
    int selectedTop(const std::string& currentName) const;
    /// Height of the list's area: 17 per row and 2 more.
    int listHeight() const { return rowHeight * count() + 2; }
    /// The file under y, with the folder of `path` in front; false below the last row.
    bool nameAt(int y, const std::string& path, std::string& fullName) const;

    int count() const { return static_cast<int>(names.size()); }
    const std::vector<std::string>& listed() const { return names; }

private:
    std::vector<std::string> names;
};

/// Everything up to and including the last path separator.
std::string folderOf(const std::string& path);
/// The part after the last path separator, surrounding spaces removed.
std::string fileNameOf(const std::string& path);
/// Surrounding spaces removed.
std::string trimmed(const std::string& text);

} // namespace tam
