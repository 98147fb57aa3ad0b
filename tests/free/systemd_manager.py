#!/usr/bin/python3
"""A stand-in systemd service manager (org.freedesktop.systemd1) on the session bus it is
started on. Prints "ready" once it owns the name, then a line for each StopUnit call:
"StopUnit NAME MODE interactive" (or "... noninteractive"). How it answers goes by the
unit's name: gone.* has no such unit, denied.* is refused by polkit, broken.* fails, silent.*
gets no answer at all; any other is stopped (a job path). Its socket units (ListUnitsByPatterns,
and their Listen and Triggers properties) are those in SOCKETS."""
import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MANAGER = "org.freedesktop.systemd1.Manager"
# Published as the real manager does, so a client that introspects sees the method.
INTROSPECTION = f"""<node><interface name="{MANAGER}">
<method name="StopUnit"><arg type="s" direction="in"/><arg type="s" direction="in"/>
<arg type="o" direction="out"/></method>
<method name="ListUnitsByPatterns"><arg type="as" direction="in"/><arg type="as" direction="in"/>
<arg type="a(ssssssouso)" direction="out"/></method></interface></node>"""
UNIT_PATH = "/org/freedesktop/systemd1/unit/"
# name: (active state, Listen, Triggers)
SOCKETS = {
    "cups.socket": ("active", [("Stream", "[::]:631"), ("Stream", "/run/cups/cups.sock"),
                               ("Datagram", "0.0.0.0:631")], ["cups.service"]),
    "off.socket": ("inactive", [("Stream", "[::]:9"), ], ["off.service"]),
    "uevent.socket": ("active", [("Netlink", "kobject-uevent 1")], ["udev.service"]),
    "odd name.socket": ("active", [("Stream", "7")], ["odd.service"]),
    "web.socket": ("active", [("Stream", "[::]:2000")], ["web.service"]),
}


class Unit(dbus.service.Object):
    def __init__(self, bus, name):
        super().__init__(bus, UNIT_PATH + name.replace(".", "_2e").replace(" ", "_20"))
        self.name = name

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss",
                         out_signature="v")
    def Get(self, interface, prop):
        _, listen, triggers = SOCKETS[self.name]
        if prop == "Listen":
            return dbus.Array(listen, signature="(ss)")
        return dbus.Array(triggers, signature="s")


class Manager(dbus.service.Object):
    jobs = 0

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(MANAGER, in_signature="asas", out_signature="a(ssssssouso)")
    def ListUnitsByPatterns(self, states, patterns):
        return [(name, "", "loaded", active, "listening", "",
                 dbus.ObjectPath(UNIT_PATH + name.replace(".", "_2e").replace(" ", "_20")),
                 dbus.UInt32(0), "", dbus.ObjectPath("/"))
                for name, (active, _, _) in SOCKETS.items()]

    @dbus.service.method(MANAGER, in_signature="ss", out_signature="o",
                         async_callbacks=("reply", "error"), message_keyword="message")
    def StopUnit(self, name, mode, reply, error, message):
        interactive = message.get_allow_interactive_authorization()
        print("StopUnit", name, mode, "interactive" if interactive else "noninteractive",
              flush=True)
        kind = name.split(".")[0]
        if kind == "gone":
            error(dbus.DBusException(f"Unit {name} not loaded.",
                                     name="org.freedesktop.systemd1.NoSuchUnit"))
        elif kind == "denied":
            error(dbus.DBusException("Access denied",
                                     name="org.freedesktop.DBus.Error.AccessDenied"))
        elif kind == "broken":
            error(dbus.DBusException(f"Job for {name} <b>failed</b>\n",
                                     name="org.freedesktop.systemd1.JobFailed"))
        elif kind != "silent":
            self.jobs += 1
            reply(dbus.ObjectPath(f"/org/freedesktop/systemd1/job/{self.jobs}"))


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.systemd1", bus)
Manager(bus, "/org/freedesktop/systemd1")
units = [Unit(bus, name) for name in SOCKETS]
print("ready", flush=True)
GLib.MainLoop().run()
