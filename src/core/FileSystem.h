// The few file-system questions the plug-in asks, answered by the platform.
// Never call from the audio thread.
#pragma once

#include <string>
#include <vector>

namespace tam {

/// Whether a regular file of that name exists.
bool fileExists(const std::string& path);

} // namespace tam
