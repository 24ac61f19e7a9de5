// Helpers shared by the shell units of the platform layer.
#pragma once

#include <string>

namespace platform::detail {

// The user's home folder: $HOME when it is absolute, else the password database's entry; empty
// when neither gives one.
std::string HomeFolder();

} // namespace platform::detail
