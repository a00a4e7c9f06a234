// shellLink.h: shortcut files read back through the shell's own link object, and
// the icons they point at.
#pragma once

#include <optional>
#include <string>

namespace qmtest {

struct ShellLink {
    std::string target;
    std::string arguments;
    std::string iconFile;
    int iconIndex = -1;
};

// Loads `path` through IShellLinkA and IPersistFile::Load; nullopt when it does not load.
std::optional<ShellLink> loadShellLink(const std::string& path);

// Number of icons in `file`, as the shell counts them for an icon location.
unsigned iconCount(const std::string& file);

// True when `index` names an icon that the shell can extract from `file`.
bool iconExists(const std::string& file, int index);

} // namespace qmtest
