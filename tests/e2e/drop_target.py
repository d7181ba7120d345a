#!/usr/bin/python3
"""A small GTK window that takes a drop of text/uri-list and prints what it received.

usage: drop_target.py TITLE

Prints "ready" once the window is mapped, then for each drop one line: the action the drag
offered and settled on, and the dropped data in hexadecimal (its bytes exactly as received).
"""

import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402


def main():
    window = Gtk.Window(title=sys.argv[1])
    window.set_default_size(300, 200)
    label = Gtk.Label(label="drop here")
    window.add(label)
    window.drag_dest_set(Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, 0)],
                         Gdk.DragAction.COPY | Gdk.DragAction.MOVE)

    def received(widget, context, x, y, data, info, time):
        action = "+".join(context.get_selected_action().value_nicks)
        print(f"drop {action} {data.get_data().hex()}", flush=True)

    window.connect("drag-data-received", received)
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
