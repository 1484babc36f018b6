// Settings on systems without a registry: one small text file per root,
// <root>/Veldrana_Software/TAM/settings.conf, machine-wide root first
// ($XDG_CONFIG_DIRS, first absolute entry, default /etc/xdg), then per user
// ($XDG_CONFIG_HOME, default $HOME/.config).
//
// One value per line, tagged with its type so a value stored with another
// type reads as absent:
//     using_dcc=dword:1
//     default_file=sz:/home/me/halls/big hall.wav
// Text escapes backslash as \\, newline as \n and carriage return as \r.
// Comment lines start with '#'. A line that does not end in a newline (a
// truncated file) or does not parse counts as absent.
//
// Writers take an advisory lock (flock on settings.lock next to the file),
// read the file, and replace it by renaming a fully written and synced
// temporary file over it: readers need no lock and always see a whole file,
// and two writers of different values never lose each other's value.
#include "core/Settings.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tam {

namespace {

constexpr const char* settingsFolder = "Veldrana_Software/TAM";
constexpr const char* settingsFileName = "settings.conf";
constexpr const char* lockFileName = "settings.lock";
constexpr const char* defaultMachineRoot = "/etc/xdg";
constexpr std::string_view intTag = "dword:";
constexpr std::string_view textTag = "sz:";
constexpr std::size_t maxFileBytes = 1u << 20;      // anything larger is not ours
constexpr std::size_t fallbackPasswdBuffer = 16384; // bytes, when sysconf gives no size
constexpr int temporaryNameAttempts = 100;

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

std::string environment(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? std::string(value) : std::string();
}

std::string machineRoot()
{
    // Relative entries are invalid for this variable and are passed over.
    const std::string dirs = environment("XDG_CONFIG_DIRS");
    std::size_t start = 0;
    while (start <= dirs.size())
    {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string entry = dirs.substr(start, end - start);
        if (isAbsolute(entry))
            return entry;
        start = end + 1;
    }
    return defaultMachineRoot;
}

std::string homeFolder()
{
    std::string home = environment("HOME");
    if (isAbsolute(home))
        return home;
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : fallbackPasswdBuffer);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && isAbsolute(found->pw_dir))
        return found->pw_dir;
    return {};
}

/// Empty when no per-user folder can be found.
std::string userRoot()
{
    std::string configHome = environment("XDG_CONFIG_HOME");
    if (isAbsolute(configHome))
        return configHome;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string folderOf(const std::string& root)
{
    return root + "/" + settingsFolder;
}

/// Names become line keys, so they are kept to a plain identifier alphabet.
bool validName(const std::string& name)
{
    if (name.empty())
        return false;
    for (const char ch : name)
    {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '_' || ch == '-' || ch == '.';
        if (!plain)
            return false;
    }
    return true;
}

enum class ReadStatus
{
    ok,
    missing,
    failed,
};

ReadStatus readWholeFile(const std::string& path, std::string& content)
{
    content.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::missing : ReadStatus::failed;
    ReadStatus status = ReadStatus::ok;
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        status = ReadStatus::failed;
    char chunk[4096];
    while (status == ReadStatus::ok)
    {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0)
            break;
        if (got < 0)
        {
            if (errno != EINTR)
                status = ReadStatus::failed;
            continue;
        }
        content.append(chunk, static_cast<std::size_t>(got));
        if (content.size() > maxFileBytes)
            status = ReadStatus::failed;
    }
    close(fd);
    if (status != ReadStatus::ok)
        content.clear();
    return status;
}

/// Calls visit(line, terminated) for every line; the last line of a file
/// that does not end in a newline is reported as not terminated.
template <typename Visit> void forEachLine(const std::string& content, Visit visit)
{
    std::size_t start = 0;
    while (start < content.size())
    {
        const std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
        {
            visit(std::string_view(content).substr(start), false);
            return;
        }
        visit(std::string_view(content).substr(start, end - start), true);
        start = end + 1;
    }
}

/// The key of a value line, or empty for comments and lines without '='.
std::string_view lineKey(std::string_view line)
{
    if (line.empty() || line.front() == '#')
        return {};
    const std::size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
}

/// The tagged value of the last complete line naming `name`.
std::optional<std::string> findTaggedValue(const std::string& content, const std::string& name)
{
    std::optional<std::string> found;
    forEachLine(content,
                [&](std::string_view line, bool terminated)
                {
                    if (!terminated || lineKey(line) != name)
                        return;
                    std::string_view value = line.substr(name.size() + 1);
                    // Tolerate a file edited with CR LF line ends.
                    if (!value.empty() && value.back() == '\r')
                        value.remove_suffix(1);
                    found = std::string(value);
                });
    return found;
}

std::optional<std::int32_t> parseInt(const std::optional<std::string>& tagged)
{
    if (!tagged || tagged->compare(0, intTag.size(), intTag) != 0)
        return std::nullopt;
    const char* first = tagged->data() + intTag.size();
    const char* last = tagged->data() + tagged->size();
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

std::optional<std::string> parseText(const std::optional<std::string>& tagged)
{
    if (!tagged || tagged->compare(0, textTag.size(), textTag) != 0)
        return std::nullopt;
    std::string text;
    for (std::size_t i = textTag.size(); i < tagged->size(); ++i)
    {
        const char ch = (*tagged)[i];
        if (ch != '\\')
        {
            text += ch;
            continue;
        }
        if (++i == tagged->size())
            return std::nullopt;
        switch ((*tagged)[i])
        {
        case '\\':
            text += '\\';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::string escapeText(const std::string& text)
{
    std::string escaped;
    for (const char ch : text)
    {
        if (ch == '\0') // stored like a registry string: up to the first zero byte
            break;
        if (ch == '\\')
            escaped += "\\\\";
        else if (ch == '\n')
            escaped += "\\n";
        else if (ch == '\r')
            escaped += "\\r";
        else
            escaped += ch;
    }
    return escaped;
}

std::optional<std::string> lookup(const std::string& root, const std::string& name)
{
    if (root.empty())
        return std::nullopt;
    std::string content;
    if (readWholeFile(folderOf(root) + "/" + settingsFileName, content) != ReadStatus::ok)
        return std::nullopt;
    return findTaggedValue(content, name);
}

bool isFolder(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeFolders(const std::string& folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1))
    {
        // An existing folder may refuse mkdir with EACCES instead of EEXIST.
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST && !isFolder(part))
            return false;
        if (slash == std::string::npos)
            break;
    }
    return isFolder(folder);
}

/// Holds an exclusive advisory lock on a lock file while alive. Readers take
/// no lock; the lock only orders writers' read-modify-write cycles.
class FolderLock
{
public:
    explicit FolderLock(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666))
    {
        if (fd < 0)
            return;
        // Should the file system refuse locks, the in-process mutex still
        // orders this process's writers and the rename keeps files whole.
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR)
        {
        }
    }
    ~FolderLock()
    {
        if (fd >= 0)
            close(fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd >= 0; }

private:
    int fd;
};

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size())
    {
        const ssize_t put = write(fd, data.data() + done, data.size() - done);
        if (put < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

/// Writes `content` to a new file beside `target` and renames it over the
/// target, so the target is always either the old or the new whole file.
bool replaceFile(const std::string& folder, const std::string& target, const std::string& content)
{
    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < temporaryNameAttempts && fd < 0; ++attempt)
    {
        temporary = folder + "/." + settingsFileName + "." + std::to_string(getpid()) + "." +
                    std::to_string(serial.fetch_add(1));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    struct stat previous = {};
    if (stat(target.c_str(), &previous) == 0)
        (void)fchmod(fd, previous.st_mode & 07777); // keep the permissions someone chose
    const bool written = writeAll(fd, content) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), target.c_str()) != 0)
    {
        unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here loses nothing already written.
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0)
    {
        (void)fsync(folderFd);
        close(folderFd);
    }
    return true;
}

/// The file with every line for `name` replaced by one new line (in place of
/// the first), other lines kept as they are, a truncated last line dropped.
std::string withValue(const std::string& content, const std::string& name, const std::string& tagged)
{
    const std::string newLine = name + "=" + tagged + "\n";
    std::string result;
    bool placed = false;
    forEachLine(content,
                [&](std::string_view line, bool terminated)
                {
                    if (!terminated)
                        return;
                    if (lineKey(line) == name)
                    {
                        if (!placed)
                            result += newLine;
                        placed = true;
                        return;
                    }
                    result += line;
                    result += '\n';
                });
    if (!placed)
        result += newLine;
    return result;
}

void writeUnder(const std::string& root, const std::string& name, const std::string& tagged)
{
    if (root.empty())
        return;
    const std::string folder = folderOf(root);
    if (!makeFolders(folder))
        return;
    const FolderLock lock(folder + "/" + lockFileName);
    if (!lock.held())
        return;
    const std::string target = folder + "/" + settingsFileName;
    std::string content;
    // A file that exists but cannot be read is left alone rather than
    // replaced by one that lacks its other values.
    if (readWholeFile(target, content) == ReadStatus::failed)
        return;
    replaceFile(folder, target, withValue(content, name, tagged));
}

void writeSetting(const std::string& name, const std::string& tagged)
{
    static std::mutex writers;
    const std::lock_guard<std::mutex> guard(writers);
    writeUnder(machineRoot(), name, tagged);
    writeUnder(userRoot(), name, tagged);
}

} // namespace

std::int32_t ReadSettingInt(const std::string& name)
{
    try
    {
        if (!validName(name))
            return -1;
        std::int32_t result = parseInt(lookup(machineRoot(), name)).value_or(-1);
        if (result == -1)
            result = parseInt(lookup(userRoot(), name)).value_or(-1);
        return result;
    }
    catch (...)
    {
        return -1;
    }
}

std::string ReadSettingString(const std::string& name)
{
    try
    {
        if (!validName(name))
            return {};
        std::string result = parseText(lookup(machineRoot(), name)).value_or(std::string());
        if (result.empty())
            result = parseText(lookup(userRoot(), name)).value_or(std::string());
        return result;
    }
    catch (...)
    {
        return {};
    }
}

void WriteSettingInt(const std::string& name, std::int32_t value)
{
    try
    {
        if (validName(name))
            writeSetting(name, std::string(intTag) + std::to_string(value));
    }
    catch (...)
    {
    }
}

void WriteSettingString(const std::string& name, const std::string& text)
{
    try
    {
        if (validName(name))
            writeSetting(name, std::string(textTag) + escapeText(text));
    }
    catch (...)
    {
    }
}

} // namespace tam
