// What tallyard-setup copies into the install folder, found from this program's own place: the
// same program works installed under any prefix (even a package unpacked into another root)
// and from the build tree.
#pragma once

#include <string>

// The data-source manager: beside this program, else in the installation's libexec folder,
// else where the build put it. Empty when there is none.
std::string SourcewardenProgram();

// The folder of the help pages: the installation's data folder, else the source tree's.
// Empty when there is none.
std::string HelpPagesFolder();
