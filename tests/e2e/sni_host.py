#!/usr/bin/python3
"""A stand-in StatusNotifierItem watcher and host on the session bus, for the end-to-end test.

  sni_host.py check             exits 0 when python3-dbus and python3-gi are there
  sni_host.py watch             owns org.kde.StatusNotifierWatcher with a host registered;
                                prints "registered SERVICE PATH" for each item that registers
  sni_host.py activate SERVICE  clicks the item, as a host does (Activate)
  sni_host.py click SERVICE LABEL
                                clicks the entry of the item's menu with that label
                                (com.canonical.dbusmenu Event "clicked")
"""
import sys

import dbus
import dbus.service

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PROPERTIES = "org.freedesktop.DBus.Properties"

# Qt reads IsStatusNotifierHostRegistered through introspection: the properties must be
# declared here, or Qt decides there is no tray.
INTROSPECTION = """<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg type="s" direction="out"/></method>
  </interface>
</node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item names its bus name, or only its object path on the caller's connection.
        path = service if service.startswith("/") else "/StatusNotifierItem"
        name = sender if service.startswith("/") else service
        self.items.append(name + path)
        print("registered", name, path, flush=True)
        self.StatusNotifierItemRegistered(name + path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass


def watch():
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    print("watching", flush=True)
    GLib.MainLoop().run()
    del watcher, name


def find_entry(layout, label):
    """The id of the menu entry labelled so (Qt shows an & mnemonic as _), or None."""
    entry_id, properties, children = layout
    if str(properties.get("label", "")).replace("_", "") == label:
        return int(entry_id)
    for child in children:
        found = find_entry(child, label)
        if found is not None:
            return found
    return None


def main(argv):
    if argv[1:] == ["check"]:
        from gi.repository import GLib  # noqa: F401
        return 0
    if argv[1:] == ["watch"]:
        return watch()
    bus = dbus.SessionBus()
    item = bus.get_object(argv[2], "/StatusNotifierItem")
    if argv[1] == "activate" and len(argv) == 3:
        item.Activate(0, 0, dbus_interface=ITEM)
        return 0
    if argv[1] == "click" and len(argv) == 4:
        menu = bus.get_object(argv[2], item.Get(ITEM, "Menu", dbus_interface=PROPERTIES))
        _, layout = menu.GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        entry = find_entry(layout, argv[3])
        if entry is None:
            print("no menu entry", argv[3], file=sys.stderr)
            return 1
        menu.Event(entry, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                   dbus_interface="com.canonical.dbusmenu")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
