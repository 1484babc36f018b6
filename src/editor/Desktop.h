// Desktop services the editor needs beyond its window and canvas: an
// open-file chooser, a message box, and the listing of a folder's WAV files.
// (Files dropped onto the editor arrive through WindowListener::onFilesDropped.)
//
// The platform layer implements them: on Linux the chooser is the desktop's
// own program (zenity, else kdialog) run as a child process, and alerts are
// drawn inside the editor; on Windows the common dialog and MessageBoxA.
// Tests substitute a fake Desktop, so that no test ever waits for a person.
//
// Threading: the editor's UI thread only.
#pragma once

#include "editor/NativeWindow.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tam
{

/// What every chooser of the editor offers.
struct FileChooserOptions
{
    std::string title = "Open File";
    std::string startFolder; ///< folder shown first; empty: the platform's choice
};

/// The filter, default extension and initial name of every chooser.
inline constexpr const char* waveFileFilter = "Wave files (*.wav)|*.wav|All files (*.*)|*.*";
inline constexpr const char* waveDefaultExtension = "wav";
inline constexpr const char* waveInitialName = "*.wav";

/// One open-file chooser, started by Desktop::chooseFile. The editor polls it
/// from its idle calls, so a chooser running beside the editor never blocks
/// the window or the host. A platform whose dialog is modal may complete the
/// whole choice inside chooseFile; poll then reports the result at once.
/// Destroying a chooser that still runs ends it (the editor closed).
class FileChooser
{
public:
    enum class Status
    {
        running,
        chosen,    ///< path() holds the file
        cancelled, ///< the user closed the chooser without a file
        failed,    ///< no chooser could be shown, or it broke; message() says why
    };

    FileChooser() = default;
    virtual ~FileChooser() = default;
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;

    /// Never waits.
    virtual Status poll() = 0;
    virtual const std::string& path() const = 0;
    virtual const std::string& message() const = 0;
};

class Desktop
{
public:
    Desktop() = default;
    virtual ~Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    /// The platform's services.
    static std::unique_ptr<Desktop> create();

    /// Starts a chooser for one existing file; never null.
    virtual std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions& options, NativeWindow* owner) = 0;
    /// Shows a modal message box captioned "Alert" and returns once it is
    /// dismissed; false when the platform has none, and the editor shows
    /// its own panel instead.
    virtual bool showAlert(const std::string& text, NativeWindow* owner) = 0;
    /// Names (without folder) of the folder's WAV files, in the order the
    /// file system gives them, at most `limit`: regular files only, hidden
    /// ones left out, the ".wav" ending matched as the platform's file names
    /// match (case-insensitively on both).
    virtual std::vector<std::string> listWaveFiles(const std::string& folder, std::size_t limit) = 0;
};

} // namespace tam
