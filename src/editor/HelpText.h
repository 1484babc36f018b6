// The fixed text of the help panel.
#pragma once

#include <string>

namespace tam
{

const std::string& helpTextContent();

} // namespace tam
