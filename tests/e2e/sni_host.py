#!/usr/bin/python3
"""A stand-in StatusNotifierItem watcher and host on the session bus, for the end-to-end test.

  sni_host.py watch             owns org.kde.StatusNotifierWatcher, and half a second later
                                registers a host with it (as a panel that starts after the
                                watcher does); prints "registered SERVICE" for each item
                                that registers, "introspected" and "asked" for each look at
                                the watcher
  sni_host.py watch-unseen      the same, but Qt does not see the host (its introspection
                                leaves out the properties), as when the host is away for the
                                moment Qt looks
  sni_host.py activate SERVICE  clicks the item, as a host does (Activate)
  sni_host.py click SERVICE LABEL
                                clicks the entry of the item's menu with that label
                                (com.canonical.dbusmenu Event "clicked")
"""
import re
import sys

import dbus
import dbus.service

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PROPERTIES = "org.freedesktop.DBus.Properties"
MENU = "com.canonical.dbusmenu"

# Qt reads IsStatusNotifierHostRegistered through introspection: unless the properties are
# declared here, Qt decides there is no tray.
INTROSPECTION = f"""<node><interface name="{WATCHER}">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
</interface></node>"""


class Watcher(dbus.service.Object):
    items = []
    host_registered = False
    unseen = False

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        print("introspected", flush=True)
        return re.sub(r"<property[^>]*>\n", "", INTROSPECTION) if self.unseen else INTROSPECTION

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        print("asked", flush=True)
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": self.host_registered,
                "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item names its bus name, or its object path (on the caller's connection).
        name = sender if service.startswith("/") else service
        self.items.append(name)
        print("registered", name, flush=True)
        self.StatusNotifierItemRegistered(name)

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER)
    def StatusNotifierHostRegistered(self):
        pass

    def register_host(self):
        self.host_registered = True
        self.StatusNotifierHostRegistered()
        return False  # once


def find_entry(layout, label):
    """The id of the menu entry labelled so (Qt shows an & mnemonic as _), or None."""
    entry_id, properties, children = layout
    if str(properties.get("label", "")).replace("_", "") == label:
        return int(entry_id)
    return next((e for e in (find_entry(c, label) for c in children) if e is not None), None)


def main(argv):
    if argv[1:] in (["watch"], ["watch-unseen"]):
        from dbus.mainloop.glib import DBusGMainLoop
        from gi.repository import GLib
        DBusGMainLoop(set_as_default=True)
        bus = dbus.SessionBus()
        # Both live as long as the loop runs.
        watcher = Watcher(bus, "/StatusNotifierWatcher")
        watcher.unseen = argv[1] == "watch-unseen"
        name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)  # noqa: F841
        GLib.timeout_add(500, watcher.register_host)
        GLib.MainLoop().run()
    item = dbus.SessionBus().get_object(argv[2], "/StatusNotifierItem")
    if argv[1] == "activate":
        item.Activate(0, 0, dbus_interface=ITEM)
        return 0
    menu = dbus.SessionBus().get_object(argv[2], item.Get(ITEM, "Menu", dbus_interface=PROPERTIES))
    entry = find_entry(menu.GetLayout(0, -1, [], dbus_interface=MENU)[1], argv[3])
    if entry is None:
        return f"no menu entry {argv[3]}"
    menu.Event(entry, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
               dbus_interface=MENU)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
