#pragma once

namespace platform
{
    /** On Windows the framework delivers its own messages, quitting included,
        through a hidden top-level window. A polite close such as `taskkill`
        without /F sends WM_CLOSE to every top-level window of the process, and
        the default handling destroys that hidden window: the quit that the main
        window's close then asks for is never delivered and the process stays
        behind with its files open. This makes the hidden window ignore WM_CLOSE
        (it is never shown, so nothing a person does sends it one). Call once
        the message manager exists; does nothing on other systems. It reaches
        the window through a framework global that is not public API, so the
        build stops at a framework version other than the one it was checked
        with. */
    void keepMessageWindowOnClose();
}
