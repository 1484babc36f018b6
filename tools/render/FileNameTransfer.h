// How the response's path reaches the plug-in: through the file-name
// parameters (45 checksum, 46..172 two characters each), exactly as a host
// restoring a project hands it over. The plug-in then loads the file itself.
#pragma once

#include "core/FileNameCodec.h"
#include "core/Parameters.h"

#include <array>
#include <string>

namespace tam::render {

using NameValues = std::array<float, fileNameValueCount>;

/// The absolute, normalised form of `path` that the parameters can carry.
/// Throws RenderError(badResponse) when they cannot: longer than 254
/// characters, control characters, character 255, or a trailing space.
std::string transferablePath(const std::string& path);

/// The name the 127 file-name values carry, trailing spaces removed.
std::string decodeFileName(const NameValues& values);

/// Tells from the file-name values whether the plug-in loaded the name sent.
/// A plug-in that loads a file re-encodes all 127 values from its name padded
/// with spaces, in the middle of the set that completed the name; the host's
/// later sets overwrite some of them again. So the values are compared with
/// what the host set after every set: a change the host did not make is the
/// load. When the name completes and nothing changes although the re-encoding
/// would have shown, the plug-in did not load it. Names that already read as
/// their padded form leave the question open.
class LoadWatch
{
public:
    enum class Outcome
    {
        loaded,
        notLoaded,
        unknown,
    };

    /// `before`: the name values read back before the restore.
    LoadWatch(const std::string& sent, const NameValues& before);

    /// After the host set parameter `index` (from 45 up, in index order) to
    /// `value`; `now` are the name values read back after that set.
    void afterSet(int index, float value, const NameValues& now);

    Outcome outcome() const;

private:
    std::string name;
    NameValues padded{};   ///< what a load writes
    NameValues expected{}; ///< what the values are unless the plug-in wrote them
    bool checksumSet = false;
    bool loadSeen = false;
    bool completed = false;
    bool loadWouldShow = false;
};

} // namespace tam::render
