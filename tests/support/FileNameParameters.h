// Naming a response through the file-name parameters, as a host restoring a
// project or the editor does; for suites that link the plug-in's core.
#pragma once

#include "core/FileNameCodec.h"
#include "core/Parameters.h"

#include <string>

namespace tam::test {

enum class ChecksumOrder
{
    first, ///< as a host restores parameters in index order
    last,  ///< as the editor sends a chosen file
};

/// Sets the checksum and the 127 name values of `path` on anything with a
/// setParameter(index, value): the plug-in object or a loaded module.
template <class Target>
void sendFileName(Target& target, const std::string& path, ChecksumOrder order = ChecksumOrder::first)
{
    const auto values = fileNameToValues(path);
    if (order == ChecksumOrder::first)
        target.setParameter(param::fileChecksum, fileNameChecksum(path));
    for (int i = 0; i < fileNameValueCount; ++i)
        target.setParameter(param::fileNameFirst + i, values[static_cast<std::size_t>(i)]);
    if (order == ChecksumOrder::last)
        target.setParameter(param::fileChecksum, fileNameChecksum(path));
}

} // namespace tam::test
