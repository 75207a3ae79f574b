#pragma once

// The one place that includes the terminal library. Its function-like
// macros (move, clear, refresh, timeout, ...) would collide with ordinary
// names, so only the functions are used.

#ifndef NCURSES_NOMACROS
#define NCURSES_NOMACROS
#endif
#include <curses.h>
