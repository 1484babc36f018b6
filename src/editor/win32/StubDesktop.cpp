// Windows desktop services until the Win32 editor provides them: no chooser
// (it reports why), no message box (the editor draws its own), no listing.
#include "editor/Desktop.h"

namespace tam
{

namespace
{

class UnavailableChooser final : public FileChooser
{
public:
    Status poll() override { return Status::failed; }
    const std::string& path() const override { return none; }
    const std::string& message() const override { return why; }

private:
    std::string none;
    std::string why = "This build has no file dialog.";
};

class StubDesktop final : public Desktop
{
public:
    std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions&, NativeWindow*) override
    {
        return std::make_unique<UnavailableChooser>();
    }
    bool showAlert(const std::string&, NativeWindow*) override { return false; }
    std::vector<std::string> listWaveFiles(const std::string&, std::size_t) override { return {}; }
};

} // namespace

std::unique_ptr<Desktop> Desktop::create()
{
    return std::make_unique<StubDesktop>();
}

} // namespace tam
