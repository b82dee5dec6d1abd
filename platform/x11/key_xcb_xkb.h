// The XCB binding of XKB for C++ sources: its header names a structure member `explicit`, a
// C++ keyword, so the word is renamed while it is read.
#pragma once

#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
