/* A DLL that only leaves a mark: loaded into a process, it writes a file
   named after itself, plus ".loaded", beside itself. Copied under the names of
   system DLLs next to the installer, it shows whether the installer ever loads
   a DLL from its own folder instead of from System32. */

#include <windows.h>

BOOL WINAPI DllMain (HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void) reserved;

    if (reason == DLL_PROCESS_ATTACH)
    {
        WCHAR path[MAX_PATH + 16];
        const DWORD length = GetModuleFileNameW (self, path, MAX_PATH);

        if (length > 0 && length < MAX_PATH)
        {
            lstrcatW (path, L".loaded");
            HANDLE mark = CreateFileW (path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (mark != INVALID_HANDLE_VALUE)
                CloseHandle (mark);
        }
    }

    return TRUE;
}
