// The executable's entry point on Windows, in place of the C runtime's own.
//
// The installer runs elevated, usually from a download folder where anyone
// may have dropped a DLL named like a system one. The loader has already
// bound the static imports, all of them KnownDLLs that only System32 serves.
// Every other DLL is loaded later: delay-loaded ones at their first call, and
// those the framework and the system load by bare name (UI Automation, the
// theme and window-manager libraries). From here on, all of them come from
// System32 alone, never from beside the executable or the working folder.
// This runs before any static constructor, so nothing loads a DLL sooner.

#include <windows.h>

extern "C" int WinMainCRTStartup();

extern "C" int tsrProcessEntry()
{
    SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_SYSTEM32);
    return WinMainCRTStartup();
}
