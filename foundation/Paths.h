#pragma once

#include <string>

namespace platform {

// Where the program keeps its files.
namespace Paths {

// $QUELLIO_HOME/Library if QUELLIO_HOME is set, else
// $XDG_DATA_HOME/quellio/Library, else ~/.local/share/quellio/Library.
// Read from the environment on every call; the directory is not created.
std::string libraryDirectory();

// The folder of shipped resources: $QUELLIO_RESOURCES if set, else
// <executable>/../share/quellio when installed, else the source tree's
// resources/ folder compiled in for development.
std::string resourceDirectory();

// The running executable's directory.
std::string executableDirectory();

}  // namespace Paths

}  // namespace platform
