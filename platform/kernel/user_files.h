// Where a program keeps a file it writes that an unpacked copy keeps beside
// itself: the shell's settings file and the extension library's jar.
#pragma once

#include <string>

#include "platform/automation/wintypes.h"

namespace nb {

// The path to read and write for the file that belongs at installed (an
// absolute path beside the program or module). In this order:
//   1. installed itself, when its folder is writable by this user and lies
//      outside /usr: an unpacked copy, wherever it was put;
//   2. <configuration home>/nimbra/<file name of installed>, the
//      configuration home being $XDG_CONFIG_HOME when it holds an absolute
//      path, else $HOME/.config. The first time, the folder is made (mode
//      0700) and the installed file, when there is one, copied there, so
//      the user starts from what was shipped;
//   3. installed, when there is no configuration home or the copy cannot be
//      made: it still reads, and writes fail as they would have.
// Nothing under /usr is written even by root: the package manager owns it
// and would leave behind what it did not install.
NB_EXPORT std::string UserWritableFile(const std::string& installed);

}  // namespace nb
