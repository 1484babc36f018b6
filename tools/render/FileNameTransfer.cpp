#include "render/FileNameTransfer.h"

#include "core/FileNameCodec.h"
#include "render/RenderErrors.h"

#include <filesystem>

namespace tam::render {

namespace {

constexpr unsigned char spaceCode = 32;
constexpr unsigned char blankCode = 255; ///< decodes to a space

} // namespace

std::string transferablePath(const std::string& path)
{
    std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path)).lexically_normal();
    const std::string text = absolute.string();
    const auto refuse = [&](const std::string& why) {
        throw RenderError(ExitCode::badResponse,
                          "response " + path + ": its path " + why +
                              ", so the plug-in cannot be given it through its file-name parameters; "
                              "move or link the file to a simpler path");
    };
    if (text.size() > static_cast<std::size_t>(maxFileNameLength))
        refuse("has " + std::to_string(text.size()) + " characters (at most " +
               std::to_string(maxFileNameLength) + " travel)");
    for (const char c : text)
    {
        const auto code = static_cast<unsigned char>(c);
        if (code < spaceCode || code == blankCode)
            refuse("contains a control character");
    }
    if (!text.empty() && text.back() == ' ')
        refuse("ends with a space");
    return text;
}

std::string decodeFileName(const NameValues& values)
{
    std::string name;
    for (const float v : values)
    {
        const auto chars = valueToChars(v);
        name += chars[0];
        name += chars[1];
    }
    const auto end = name.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

LoadWatch::LoadWatch(const std::string& sent, const NameValues& before)
    : name(sent), expected(before)
{
    std::string paddedName = sent;
    paddedName.resize(paddedFileNameLength, ' ');
    padded = fileNameToValues(paddedName);
}

void LoadWatch::afterSet(int index, float value, const NameValues& now)
{
    if (index == param::fileChecksum)
        checksumSet = true;
    else if (index >= param::fileNameFirst && index < param::fileNameFirst + fileNameValueCount)
        expected[static_cast<std::size_t>(index - param::fileNameFirst)] = value;
    if (now != expected)
    {
        // Only a load writes these values behind the host's back.
        loadSeen = loadSeen || now == padded;
        expected = now;
        return;
    }
    if (!completed && checksumSet && decodeFileName(expected) == name)
    {
        completed = true;
        loadWouldShow = expected != padded;
    }
}

LoadWatch::Outcome LoadWatch::outcome() const
{
    if (loadSeen)
        return Outcome::loaded;
    return completed && loadWouldShow ? Outcome::notLoaded : Outcome::unknown;
}

} // namespace tam::render
