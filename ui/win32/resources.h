#pragma once
// Ids of the resources the program file carries (app/win32/sealdoor.rc).

inline constexpr int kIconClosedPadlock = 1;  // the program's icon, and element 0 of Image1
inline constexpr int kIconOpenPadlock = 2;    // element 1 of Image1
