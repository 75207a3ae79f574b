#pragma once

// Files of the user directory. Names are typed in upper case and get an
// upper-case extension; a file written by another program may differ in
// case, so a lookup takes the exact name when it exists, else the one entry
// whose name matches ignoring case. A save replaces the file it matched.

#include <string>
#include <string_view>

namespace kav {

// The name with up to two leading blanks removed.
std::string_view trimNameBlanks(std::string_view name);

// A name (leading blanks already removed) that may be joined to the user
// directory: not empty nor only blanks, no '/' and no control character
// (NUL, CR, ESC, ...), not "." or "..", and short enough that with an
// extension of four characters it is a file name the system takes.
bool isValidFileName(std::string_view name);

// The path of name + extension in directory dir (which ends in '/'):
// the exact entry, else the unique case-insensitive match, else the exact
// path (which does not exist).
std::string resolveFilePath(const std::string& dir, std::string_view fileName);

// resolveFilePath in the user directory, after trimNameBlanks(name).
std::string userPath(std::string_view name, std::string_view extension);

bool fileExists(const std::string& path);
bool userFileExists(std::string_view name, std::string_view extension);

} // namespace kav
