// The two settings shared by every instance on the machine (dynamic CPU
// consumption and the default impulse-response file), looked up first
// machine-wide, then per user. Each call opens and closes the store; nothing
// stays open. Never call from the audio thread (file or registry I/O).
//
// Windows keeps them in the registry under Software\Veldrana_Software\TAM\ of
// HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER. Elsewhere a machine-wide file
// under $XDG_CONFIG_DIRS (default /etc/xdg) and a per-user file under
// $XDG_CONFIG_HOME (default ~/.config), both in Veldrana_Software/TAM/.
#pragma once

#include <cstdint>
#include <string>

namespace tam {

/// The value, or -1 when found under neither root (or stored with another type).
std::int32_t ReadSettingInt(const std::string& name);
/// The text, or empty when found under neither root (or stored with another type).
std::string ReadSettingString(const std::string& name);
/// Writes machine-wide where allowed, then per user; failures are silent.
void WriteSettingInt(const std::string& name, std::int32_t value);
void WriteSettingString(const std::string& name, const std::string& text);

} // namespace tam
