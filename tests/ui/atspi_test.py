#!/usr/bin/python3
# The Qt window as a screen reader reads it: through the session's
# accessibility bus (AT-SPI), never through Qt. Starts the real program,
# walks its accessible tree, checks each control's role and name, reads the
# password box, listens for what the status line says when files arrive, and
# runs a lock through the buttons' actions up to the closing message box.
#
# Usage: atspi_test.py SEALDOOR    (on an X server, in a session bus of its own)
# Exit status 77 when the accessibility bus cannot start here.

import os
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio, GLib
except (ImportError, ValueError) as error:
    print(f"atspi_test: Python's AT-SPI client is missing ({error}); "
          "install python3-gi and gir1.2-atspi-2.0 (scripts/install-deps test)")
    sys.exit(1)

# The name of an action is read by the call Qt answers; its newer name
# (get_name) is hidden behind the accessible's own in Python.
warnings.filterwarnings("ignore", category=DeprecationWarning)

SKIP = 77
PASSWORD = "Secret4711"
# Bytes 649 to 702 of a locked file: the signature every head ends with.
SIGNATURE = bytes([
    0xd7, 0xce, 0x36, 0xe3, 0x7d, 0xba, 0xd7, 0x4d, 0xb5, 0xf7, 0x5f, 0x38, 0xdb, 0x8d, 0xf6, 0xeb, 0x5d, 0x36,
    0xd7, 0xdd, 0x7c, 0xe3, 0x6e, 0x37, 0xdb, 0xad, 0x74, 0xdb, 0x5f, 0x75, 0xf3, 0x8d, 0xb8, 0xdf, 0x6e, 0xb5,
    0xd3, 0x6d, 0x7d, 0xd7, 0xce, 0x36, 0xe3, 0x7d, 0xba, 0xd7, 0x4d, 0xb5, 0xf7, 0x5f, 0x38, 0xdb, 0x8d, 0xf6])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print(f"FAIL: {what}")
    return ok


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(predicate, seconds=20):
    """Runs the event loop until `predicate` holds, or the limit passes."""
    deadline = time.monotonic() + seconds
    while True:
        pump()
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.02)


def turn_accessibility_on():
    """As a screen reader does: the session's accessibility bus is started
    (by activation) and marked enabled, which is what toolkits look for."""
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    except GLib.Error as error:
        print(f"SKIP: no session bus here, so no AT-SPI bus ({error.message})")
        sys.exit(SKIP)
    try:
        bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                      GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 10000, None)
        bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                      GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                      None, Gio.DBusCallFlags.NONE, 10000, None)
        Atspi.get_desktop(0).get_child_count()  # the registry answers
    except GLib.Error as error:
        print(f"SKIP: the AT-SPI bus could not start here ({error.message})")
        sys.exit(SKIP)


def nodes(root):
    yield root
    for i in range(root.get_child_count()):
        child = root.get_child_at_index(i)
        if child is not None:
            yield from nodes(child)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def find_application(name):
    def found():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == name and app.get_child_count() > 0:
                return app
        return None
    return wait_for(found)


def one(tree, role, name):
    matches = [n for n in tree if n.get_role() == role and n.get_name() == name]
    check(len(matches) == 1, f"one {Atspi.Accessible.get_role_name(matches[0]) if matches else role} "
                             f"named {name!r} (found {len(matches)})")
    return matches[0] if matches else None


def main():
    app_path = sys.argv[1]
    work = tempfile.mkdtemp(prefix="sealdoor-atspi-")
    env = dict(os.environ)
    for variable in ("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY", "WAYLAND_DISPLAY"):
        env.pop(variable, None)
    # A desktop of the test's own: no other copy's window, no setting of the user's.
    env.update(QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=os.path.join(work, "run"), HOME=os.path.join(work, "home"),
               XDG_CONFIG_HOME=os.path.join(work, "home/.config"), XDG_CACHE_HOME=os.path.join(work, "home/.cache"),
               XDG_DATA_HOME=os.path.join(work, "home/.local/share"))
    for folder in ("run", "home", "files"):
        os.mkdir(os.path.join(work, folder), 0o700)
    target = os.path.join(work, "files", "notes.txt")
    with open(target, "wb") as f:
        f.write(b"plain words " * 500)

    turn_accessibility_on()
    events = []

    def heard(event):
        try:
            # A name change carries the name in the source (its any_data is not a text).
            data = event.any_data if isinstance(event.any_data, str) else None
            if event.type.startswith("object:property-change:accessible-name"):
                data = event.source.get_name()
            events.append((event.type, event.source, data))
        except GLib.Error:
            pass
    listener = Atspi.EventListener.new(heard)
    for kind in ("object:property-change:accessible-name", "object:text-changed", "object:text-caret-moved",
                 "object:property-change:accessible-value"):
        listener.register(kind)

    window = subprocess.Popen([app_path], env=env)
    try:
        app = find_application("Sealdoor")
        if not check(app is not None, "the program shows on the accessibility bus as 'Sealdoor'"):
            return
        top = app.get_child_at_index(0)
        check(app.get_child_count() == 1 and top.get_name() == "Sealdoor",
              f"one window, named 'Sealdoor' (found {app.get_child_count()}, {top.get_name()!r})")
        tree = list(nodes(top))

        # Each control's role and name, in reading order, and what shows at the start.
        R = Atspi.Role
        expected = [
            (R.FILLER, "Locked", True), (R.FILLER, "Unlocked", False),
            (R.LABEL, "Sealdoor Version 1.01", True), (R.LABEL, "Password file locker", True),
            (R.LABEL, "Enter password first !", False), (R.LABEL, "Password:", True),
            (R.PASSWORD_TEXT, "Password", True),
            (R.PUSH_BUTTON, "Lock Files", True), (R.PUSH_BUTTON, "Unlock Files", True),
            (R.PUSH_BUTTON, "Unlock and Open", True), (R.PUSH_BUTTON, "Close", True),
            # Each bar right after its caption, which names it, and before its figure.
            (R.LABEL, "Unlock:", False), (R.LABEL, "File:", False), (R.PROGRESS_BAR, "File progress", False),
            (R.LABEL, "100%", False), (R.LABEL, "All:", False), (R.PROGRESS_BAR, "Overall progress", False),
            (R.LABEL, "100%", False),
        ]
        named = [(n.get_role(), n.get_name(), showing(n)) for n in tree[1:] if n.get_name()]
        check(named == expected, "the named controls, in reading order:\n  " +
              "\n  ".join(f"{Atspi.role_get_name(r)} {n!r}{'' if s else ' (hidden)'}" for r, n, s in named))

        password = one(tree, R.PASSWORD_TEXT, "Password")
        buttons = {name: one(tree, R.PUSH_BUTTON, name)
                   for name in ("Lock Files", "Unlock Files", "Unlock and Open", "Close")}
        bars = [one(tree, R.PROGRESS_BAR, name) for name in ("File progress", "Overall progress")]
        for bar in bars:
            if bar is not None:
                check("Value" in bar.get_interfaces() and Atspi.Value.get_minimum_value(bar) == 0 and
                      Atspi.Value.get_maximum_value(bar) == 100,
                      f"{bar.get_name()!r} gives its value from 0 to 100")
        for name, button in buttons.items():
            if button is not None:
                check(Atspi.Action.get_n_actions(button) >= 1 and Atspi.Action.get_action_name(button, 0).lower() == "press",
                      f"{name!r} can be pressed through its action")
        if password is not None:
            check(password.get_state_set().contains(Atspi.StateType.EDITABLE), "the password box is editable")
            labels = [r.get_target(0).get_name() for r in password.get_relation_set()
                      if r.get_relation_type() == Atspi.RelationType.LABELLED_BY and r.get_n_targets() > 0]
            check(labels == ["Password:"], f"the password box is labelled by 'Password:' (found {labels})")

        # The status line: empty at the start, said when files arrive.
        status = tree[tree.index(one(tree, R.LABEL, "Password file locker")) + 1]
        check(status.get_role() == R.LABEL, "the status line follows the subtitle")
        events.clear()
        handed = subprocess.run([app_path, "--lock", target], env=env, timeout=30)
        check(handed.returncode == 0, "a second launch hands its file to the window")
        said = wait_for(lambda: [d for t, s, d in events if t == "object:property-change:accessible-name" and
                                 s == status and d])
        check(bool(said) and said[-1] == status.get_name() and "lock" in said[-1].lower(),
              f"the status line's change is announced with its text (heard {said})")
        pump()
        said = [d for t, s, d in events if t == "object:property-change:accessible-name" and s == status]
        check(len(said) == 1, f"the change is told once (told {said})")

        # The password box, typed into on the keyboard, never gives the
        # password to whoever listens: each character is said as a star.
        events.clear()
        if password is not None:
            box = password.get_extents(Atspi.CoordType.SCREEN)
            Atspi.generate_mouse_event(box.x + box.width // 2, box.y + box.height // 2, "b1c")
            wait_for(lambda: password.get_state_set().contains(Atspi.StateType.FOCUSED), 10)
            for ch in PASSWORD:
                Atspi.generate_keyboard_event(ord(ch), None, Atspi.KeySynthType.SYM)
            typed = wait_for(lambda: Atspi.Text.get_character_count(password) == len(PASSWORD), 10)
            check(typed, f"the password box took {len(PASSWORD)} typed characters "
                         f"(has {Atspi.Text.get_character_count(password)})")
            read = Atspi.Text.get_text(password, 0, -1)
            check(not any(c in read for c in PASSWORD), f"the password box reads as {read!r}, not as the password")
            wait_for(lambda: len([1 for t, s, d in events if t == "object:text-changed:insert"]) >= len(PASSWORD), 5)
            inserts = [d for t, s, d in events if t == "object:text-changed:insert" and s == password]
            check(inserts == ["*"] * len(PASSWORD), f"each typed character is told as a star (told {inserts})")
            leaks = [(t, d) for t, s, d in events
                     if d and ("Secret" in d or "4711" in d or (s == password and d.strip("*")))]
            check(not leaks, f"no event carries the password ({leaks})")
            told = [d for t, s, d in events if t == "object:property-change:accessible-name" and s == status]
            check(all(a != b for a, b in zip(told, told[1:])) and len(told) <= 2,
                  f"while typing, the status line is told only when its text changes (told {told})")

        # "Lock Files" pressed as a screen reader presses it: the waiting file
        # is locked, the closing box is an alert that reads out its text, and
        # its button closes it.
        if buttons["Lock Files"] is not None:
            buttons["Lock Files"].do_action(0)

            def alert():
                for i in range(app.get_child_count()):
                    child = app.get_child_at_index(i)
                    if child is not None and child.get_role() == R.ALERT:
                        return child
                return None
            box = wait_for(alert, 30)
            if check(box is not None, "a message box comes up as an alert"):
                inside = list(nodes(box))
                texts = [n.get_name() for n in inside if n.get_role() == R.LABEL and n.get_name()]
                check(texts == ["File locked !"], f"the alert reads 'File locked !' (found {texts})")
                ok = [n for n in inside if n.get_role() == R.PUSH_BUTTON and n.get_name() == "OK"]
                if check(len(ok) == 1, "the alert has its OK button"):
                    ok[0].do_action(0)
                    check(wait_for(lambda: alert() is None, 10) is True or alert() is None, "OK closes the alert")
            with open(target, "rb") as f:
                check(f.read(702)[648:] == SIGNATURE, "the file was locked")
            check(Atspi.Value.get_current_value(bars[1]) == 100, "the overall bar ends at 100")
    finally:
        window.kill()
        window.wait()
        shutil.rmtree(work, ignore_errors=True)


main()
if failures:
    print(f"{len(failures)} check(s) failed")
    sys.exit(1)
print("all checks passed")
