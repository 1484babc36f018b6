#include "core/FileSystem.h"

#include <sys/stat.h>

namespace tam {

bool fileExists(const std::string& path)
{
    struct stat info{};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace tam
