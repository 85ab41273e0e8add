#pragma once
#include <windows.h>

// The marker clipboard format's identifier; 0 until the main window registers it.
UINT MarkerFormat();
