"""What a run of the end-to-end test knows only once it starts: main() sets these, and every
module reads them here when it uses them (a name imported from here would keep the empty value)."""

PROGRAM = ""  # the program under test, an absolute path
OUT_DIR = ""  # where the logs and screenshots go
SESSION = None  # the desktop.Session of the run
EVENTS = None  # the window_driver.Events heard on the accessibility bus
pyatspi = None  # imported once the session's buses exist: it connects to them on import
Atspi = None
