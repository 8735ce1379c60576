#pragma once
// <windows.h>, without its macros that clash with ordinary names of ours
// (Yield, the window's turn to run its events).
#include <windows.h>
#undef Yield
