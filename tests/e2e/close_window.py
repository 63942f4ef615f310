#!/usr/bin/python3
"""Asks an X window to close the way a window manager's close button does:
a WM_DELETE_WINDOW client message. Xvfb runs no window manager to send it.

With --hold, makes the two atoms exist and keeps them alive until killed. JUCE
looks them up with only-if-exists, so it registers the close protocol only when
some client (a window manager, normally) created them before its window opened;
and Xvfb forgets atoms when its last client leaves."""

import signal
import sys
from Xlib import X, display, protocol

d = display.Display()
protocols = d.intern_atom("WM_PROTOCOLS")
delete = d.intern_atom("WM_DELETE_WINDOW")

if sys.argv[1] == "--hold":
    d.sync()
    open(sys.argv[2], "w").close()    # tells the caller the atoms exist
    signal.pause()
else:
    window = d.create_resource_object("window", int(sys.argv[1]))
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)

d.flush()
d.close()
