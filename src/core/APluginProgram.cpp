#include "core/APluginProgram.h"

#include "core/FileNameCodec.h"

#include <cstring>

namespace tam {

APluginProgram::APluginProgram(const std::string& defaultFile)
{
    for (int i = 0; i < parameterCount; ++i)
        setValue(i, parameterInfo(i).defaultValue);
    if (!defaultFile.empty())
    {
        const auto encoded = fileNameToValues(defaultFile);
        for (int i = 0; i < fileNameValueCount; ++i)
            setValue(param::fileNameFirst + i, encoded[static_cast<std::size_t>(i)]);
        setValue(param::fileChecksum, fileNameChecksum(defaultFile));
    }
    setName("Init");
}

void APluginProgram::setName(const char* text)
{
    std::strncpy(name, text, nameCapacity - 1);
    name[nameCapacity - 1] = '\0';
}

} // namespace tam
