#include "editor/TGFileselector.h"

#include "editor/Desktop.h"
#include "editor/Palette.h"

#include <algorithm>
#include <cctype>

namespace tam
{

namespace
{

#ifdef _WIN32
constexpr const char* separators = "\\/";
#else
constexpr const char* separators = "/";
#endif

constexpr Font listFont{FontFace::msSansSerif, 11, false};
constexpr Color bandColour = colors::grey;
constexpr int bandHeight = 16;
constexpr Point nameOffset{4, 1};

bool lessIgnoringCase(const std::string& a, const std::string& b)
{
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    const bool less = std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [&lower](char x, char y) { return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y)); });
    const bool greater = std::lexicographical_compare(
        b.begin(), b.end(), a.begin(), a.end(),
        [&lower](char x, char y) { return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y)); });
    return less || (!greater && a < b); // names equal but for case: a fixed order
}

} // namespace

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

std::string folderOf(const std::string& path)
{
    const auto last = path.find_last_of(separators);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string fileNameOf(const std::string& path)
{
    const auto last = path.find_last_of(separators);
    return trimmed(last == std::string::npos ? path : path.substr(last + 1));
}

void TGFileselector::buildList(const std::string& path, Desktop& desktop)
{
    names = desktop.listWaveFiles(folderOf(trimmed(path)), maxFiles);
    if (names.size() > static_cast<std::size_t>(maxFiles))
        names.resize(maxFiles);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
}

int TGFileselector::selectedTop(const std::string& currentName) const
{
    const std::string wanted = fileNameOf(currentName);
    int top = 0;
    for (int r = 0; r < count(); ++r)
        if (trimmed(names[static_cast<std::size_t>(r)]) == wanted)
            top = rowHeight * r;
    return top;
}

void TGFileselector::drawList(Canvas& canvas, const std::string& currentName) const
{
    const std::string wanted = fileNameOf(currentName);
    canvas.fillRect({0, 0, canvas.width(), canvas.height()}, palette::dark);
    for (int r = 0; r < count(); ++r)
    {
        const std::string& name = names[static_cast<std::size_t>(r)];
        const int top = rowHeight * r;
        if (trimmed(name) == wanted)
            canvas.fillRect({0, top, canvas.width() - 1, top + bandHeight}, bandColour);
        canvas.drawText({nameOffset.x, top + nameOffset.y}, name, listFont, colors::white);
    }
}

bool TGFileselector::nameAt(int y, const std::string& path, std::string& fullName) const
{
    const int row = y < 0 ? -1 : y / rowHeight;
    if (row < 0 || row >= count())
    {
        fullName.clear();
        return false;
    }
    fullName = folderOf(trimmed(path)) + trimmed(names[static_cast<std::size_t>(row)]);
    return true;
}

} // namespace tam
