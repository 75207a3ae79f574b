#pragma once

// Start-up of both modes: where the program is, where orva.ini lives, and
// which user directory it names.
//
// orva.ini holds two lines: the user directory, and "CLOCK %d" with the
// clocking switch. It lives beside the executable, or, when that directory
// is not writable (an installed program), in the per-user configuration
// folder ($XDG_CONFIG_HOME/kav, else ~/.config/kav). The interactive
// process and every child apply the same rule, so they agree on the user
// directory.

#include <string>

namespace kav {

// Fills session.programPath, programDir, iniPath and infoPath from the
// running executable (argv0 when /proc/self/exe cannot be read), then
// loadIni(session.iniPath).
void initSession(const char* argv0);

// Where `make install` puts the introduction document, below the prefix.
inline constexpr const char* INSTALLED_DOC_DIR = "share/doc/kav/";

// The prefix of an installed program, ending in '/': for a program
// directory PREFIX/bin/ beside which PREFIX/share/doc/kav/ exists, PREFIX/.
// Empty for any other program directory (a build tree, a copy elsewhere).
// Being installed is told by this layout rather than by permissions, since
// root may write everywhere and must still not leave its settings in
// PREFIX/bin.
std::string installPrefixOf(const std::string& programDir);

// Where orva.ini lives for a program in programDir: programDir itself when
// it is writable and not installed, else the per-user configuration folder
// (created).
std::string iniDirectoryFor(const std::string& programDir);

// The introduction document without its extension: in the installed
// documentation folder for an installed program, else beside it.
std::string infoPathFor(const std::string& programDir);

// Reads the user directory and the clocking switch from the file at path.
// A first line that names no enterable directory but does once the blanks
// at its end are cut names that one. When the file is missing, is not a
// readable regular file or names no directory that can be entered, the
// user directory falls back to "user" below the current directory
// (neither checked nor created). The case of the path is kept. Only an
// interactive process that found no file writes one (saveIni): the batch
// child never writes orva.ini.
void loadIni(const std::string& path);

// Rewrites orva.ini with session.userDirLine and session.clockingMode.
// A file that cannot be written is silently left alone.
void saveIni();

// Sets the user directory from a path as typed or read (a trailing '/' is
// dropped from userDirLine and userDir gets exactly one).
void setUserDirectory(const std::string& path);

// True when path names a directory this process may enter.
bool isEnterableDirectory(const std::string& path);

} // namespace kav
