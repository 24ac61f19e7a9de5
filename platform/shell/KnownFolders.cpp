// The user's special folders over the XDG base-directory rules.
#include "platform/shell/KnownFolders.h"

#include "platform/rtl/SysUtils.h"
#include "platform/shell/ShellInternal.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

using platform::detail::HomeFolder;

namespace {

std::string ConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/') return config;
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.config";
}

} // namespace

std::string platform::detail::HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool SHGetSpecialFolderPathW(String& Path, int32_t Folder, bool Create) {
    if (Folder != CSIDL_APPDATA) return false;
    const std::string folder = ConfigFolder();
    if (folder.empty()) return false;
    if (Create) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!std::filesystem::is_directory(folder, error)) return false;
    }
    Path = StrFromUtf8(folder);
    return true;
}
