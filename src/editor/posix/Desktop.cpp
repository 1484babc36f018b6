// Linux desktop services. The open-file chooser is the desktop's own
// program, zenity or else kdialog, run as a child process whose standard
// output brings the chosen path; the editor polls it, so the window and the
// host's idle calls go on while it is open. Alerts are drawn by the editor.
#include "editor/Desktop.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tam
{

namespace
{

constexpr int cancelExitStatus = 1; ///< what both programs return for Cancel
constexpr int terminateWaitSteps = 50;
constexpr useconds_t terminateWaitStepUs = 2000;

/// Full path of a program found on PATH, or empty.
std::string findProgram(const char* name)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return {};
    std::string_view rest(path);
    while (!rest.empty())
    {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        std::string candidate = folder.empty() ? std::string(".") : std::move(folder);
        candidate.push_back('/');
        candidate.append(name);
        struct stat info{};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

class ChildChooser final : public FileChooser
{
public:
    explicit ChildChooser(const FileChooserOptions& options)
    {
        std::vector<std::string> arguments;
        std::string program = findProgram("zenity");
        std::string folder = options.startFolder;
        if (!folder.empty() && folder.back() != '/')
            folder.push_back('/');
        if (!program.empty())
        {
            arguments = {program, "--file-selection", "--title=" + options.title,
                         "--file-filter=Wave files (*.wav) | *.wav *.WAV *.Wav", "--file-filter=All files (*.*) | *"};
            if (!folder.empty())
                arguments.push_back("--filename=" + folder);
        }
        else if (!(program = findProgram("kdialog")).empty())
        {
            arguments = {program, "--title", options.title, "--getopenfilename", folder.empty() ? "." : folder,
                         "*.wav *.WAV *.Wav|Wave files (*.wav)\n*|All files (*.*)"};
        }
        else
        {
            fail("No file dialog program was found: install zenity or kdialog. The file list still works.");
            return;
        }
        start(arguments);
    }

    ~ChildChooser() override
    {
        if (pid > 0)
        {
            // The editor closes while the chooser is open: end it.
            ::kill(pid, SIGTERM);
            int exitStatus = 0;
            bool ended = false;
            for (int step = 0; step < terminateWaitSteps && !ended; ++step)
            {
                const pid_t r = ::waitpid(pid, &exitStatus, WNOHANG);
                ended = r == pid || (r < 0 && errno != EINTR);
                if (!ended)
                    ::usleep(terminateWaitStepUs);
            }
            if (!ended)
            {
                ::kill(pid, SIGKILL);
                while (::waitpid(pid, &exitStatus, 0) < 0 && errno == EINTR)
                {
                }
            }
        }
        if (output >= 0)
            ::close(output);
    }

    Status poll() override
    {
        if (status != Status::running)
            return status;
        drain();
        int exitStatus = 0;
        const pid_t r = ::waitpid(pid, &exitStatus, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR))
            return status;
        pid = -1;
        drain();
        // A host that reaps every child itself leaves no status (ECHILD):
        // the output alone decides then.
        const bool exited = r > 0 && WIFEXITED(exitStatus);
        const int code = exited ? WEXITSTATUS(exitStatus) : 0;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (r > 0 && !exited)
            fail("The file dialog ended abnormally.");
        else if (code == 0 && !text.empty())
        {
            chosen = text;
            status = Status::chosen;
        }
        else if (code == 0 || code == cancelExitStatus)
            status = Status::cancelled;
        else
            fail("The file dialog failed (exit status " + std::to_string(code) + ").");
        return status;
    }

    const std::string& path() const override { return chosen; }
    const std::string& message() const override { return why; }

private:
    void fail(std::string reason)
    {
        why = std::move(reason);
        status = Status::failed;
    }

    void start(const std::vector<std::string>& arguments)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
        {
            fail("The file dialog cannot be started (no pipe).");
            return;
        }
        ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t child = -1;
        const int result = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (result != 0)
        {
            ::close(fds[0]);
            fail("The file dialog cannot be started: " + std::string(std::strerror(result)) + ".");
            return;
        }
        pid = child;
        output = fds[0];
        status = Status::running;
    }

    void drain()
    {
        if (output < 0)
            return;
        char buffer[4096];
        for (;;)
        {
            const ssize_t n = ::read(output, buffer, sizeof buffer);
            if (n > 0)
            {
                text.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // nothing more now, or the end
        }
    }

    pid_t pid = -1;
    int output = -1;
    Status status = Status::failed;
    std::string text; ///< what the program printed so far
    std::string chosen;
    std::string why;
};

bool endsWithWav(std::string_view name)
{
    if (name.size() < 4)
        return false;
    const std::string_view tail = name.substr(name.size() - 4);
    static constexpr char lower[] = ".wav";
    for (std::size_t i = 0; i < 4; ++i)
        if (tail[i] != lower[i] && tail[i] != (lower[i] - 'a' + 'A'))
            return false;
    return true;
}

class PosixDesktop final : public Desktop
{
public:
    std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions& options, NativeWindow*) override
    {
        return std::make_unique<ChildChooser>(options);
    }

    bool showAlert(const std::string&, NativeWindow*) override { return false; }

    std::vector<std::string> listWaveFiles(const std::string& folder, std::size_t limit) override
    {
        std::vector<std::string> names;
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (dir == nullptr)
            return names;
        std::string base = folder;
        if (!base.empty() && base.back() != '/')
            base += '/';
        while (names.size() < limit)
        {
            const dirent* entry = ::readdir(dir);
            if (entry == nullptr)
                break;
            const std::string_view name(entry->d_name);
            if (name.empty() || name.front() == '.' || !endsWithWav(name))
                continue;
            struct stat info{};
            if (::stat((base + entry->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                continue; // folders, devices, broken links
            names.emplace_back(name);
        }
        ::closedir(dir);
        return names;
    }
};

} // namespace

std::unique_ptr<Desktop> Desktop::create()
{
    return std::make_unique<PosixDesktop>();
}

} // namespace tam
