// Windows desktop services: the common open-file dialog and MessageBoxA,
// both modal and owned by the editor window, and the folder search with
// FindFirstFileA/FindNextFileA. The dialog completes inside chooseFile, so
// its chooser reports the result at the first poll.
#include "editor/Desktop.h"
#include "editor/win32/Win32Window.h"

#include <commdlg.h>

#include <cctype>
#include <string>
#include <string_view>

namespace tam
{

namespace
{

class FinishedChooser final : public FileChooser
{
public:
    FinishedChooser(Status outcome, std::string file, std::string reason)
        : status(outcome), chosen(std::move(file)), why(std::move(reason))
    {
    }
    Status poll() override { return status; }
    const std::string& path() const override { return chosen; }
    const std::string& message() const override { return why; }

private:
    Status status;
    std::string chosen;
    std::string why;
};

bool endsWithWav(std::string_view name)
{
    constexpr std::string_view ending = ".wav";
    if (name.size() <= ending.size())
        return false;
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - ending.size() + i])) != ending[i])
            return false;
    return true;
}

class Win32Desktop final : public Desktop
{
public:
    std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions& options, NativeWindow* owner) override
    {
        // The common dialog wants the filter's '|' separators as NULs and a
        // second NUL at the end (the one c_str() adds).
        std::string filter = waveFileFilter;
        for (char& c : filter)
            if (c == '|')
                c = '\0';
        filter += '\0';
        char file[MAX_PATH] = {};
        std::string(waveInitialName).copy(file, MAX_PATH - 1);
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = windowHandle(owner);
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file;
        dialog.nMaxFile = MAX_PATH;
        dialog.lpstrInitialDir = options.startFolder.empty() ? nullptr : options.startFolder.c_str();
        dialog.lpstrTitle = options.title.c_str();
        dialog.lpstrDefExt = waveDefaultExtension;
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (GetOpenFileNameA(&dialog))
            return std::make_unique<FinishedChooser>(FileChooser::Status::chosen, file, "");
        const DWORD error = CommDlgExtendedError();
        if (error == 0)
            return std::make_unique<FinishedChooser>(FileChooser::Status::cancelled, "", "");
        return std::make_unique<FinishedChooser>(FileChooser::Status::failed, "",
                                                 "The file dialog failed (error " + std::to_string(error) + ").");
    }

    bool showAlert(const std::string& text, NativeWindow* owner) override
    {
        HWND window = windowHandle(owner);
        MessageBoxA(window, text.c_str(), "Alert", MB_OK | (window == nullptr ? MB_TASKMODAL : 0));
        return true;
    }

    std::vector<std::string> listWaveFiles(const std::string& folder, std::size_t limit) override
    {
        std::vector<std::string> names;
        std::string pattern = folder;
        if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/')
            pattern += '\\';
        pattern += waveInitialName;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        constexpr DWORD notOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        do
        {
            // The pattern also matches by short 8.3 names ("x.wave" as
            // "X~1.WAV"), so the ending is checked on the real name.
            if ((found.dwFileAttributes & notOrdinary) == 0 && endsWithWav(found.cFileName))
                names.emplace_back(found.cFileName);
        } while (names.size() < limit && FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
};

} // namespace

std::unique_ptr<Desktop> Desktop::create()
{
    return std::make_unique<Win32Desktop>();
}

} // namespace tam
