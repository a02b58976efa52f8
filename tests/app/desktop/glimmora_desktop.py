"""Drives the real glimmora program on the test desktop as a user would: menus and dialogs through the
accessibility tree (AT-SPI), keys and clicks through XTest (xdotool), results seen on the X server and in
the files the program writes. Every wait is for a condition, with a deadline."""

import configparser
import datetime
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = os.environ["GLIMMORA_PROGRAM"]
STAMPS = os.path.join(os.path.dirname(PROGRAM), "stamps")
DEADLINE = 30.0

_bus = None
_launcher = None


def bus_config(folder, service_dir=None):
    """A session bus configuration listening in folder that starts nothing but the services in service_dir
    (none without it): the standard one reads the system's service files, and would start an installed
    Glimmora for a request meant to find none."""
    config = os.path.join(folder, "bus.conf")
    with open(config, "w") as f:
        f.write('''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=%s</listen>
  %s
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
    <allow own="*"/></policy>
</busconfig>
''' % (folder, "<servicedir>%s</servicedir>" % service_dir if service_dir else ""))
    return config


_bus_folder = None


def setUpModule():
    """A private session bus with its own accessibility bus, so nothing of the host desktop leaks in."""
    global _bus, _bus_folder, _launcher, pyatspi
    _bus_folder = tempfile.mkdtemp(prefix="glimmora-bus-")
    _bus = subprocess.Popen(["dbus-daemon", "--config-file=" + bus_config(_bus_folder), "--nofork",
                             "--print-address=1"], stdout=subprocess.PIPE, text=True)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = _bus.stdout.readline().strip()
    os.environ.pop("NO_AT_BRIDGE", None)
    os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    _launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    import pyatspi as module  # needs the bus address above
    pyatspi = module


def tearDownModule():
    for p in (_launcher, _bus):
        if p:
            p.terminate()
            p.wait()
    if _bus_folder:
        shutil.rmtree(_bus_folder, ignore_errors=True)


def wait_until(condition, what, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def xdotool(*args):
    r = subprocess.run(["xdotool", *args], capture_output=True, text=True)
    return r.stdout.split() if r.returncode == 0 else []


def window_name(window):
    r = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True)
    return r.stdout.strip() if r.returncode == 0 else None


def wm_state(window):
    """Normal, Iconic or Withdrawn, as the window manager records it."""
    r = subprocess.run(["xprop", "-id", window, "WM_STATE"], capture_output=True, text=True).stdout
    for state in ("Normal", "Iconic"):
        if "window state: " + state in r:
            return state
    return "Withdrawn"


def send(*args, env=None):
    return subprocess.run([PROGRAM, *args], capture_output=True, text=True, env=env, timeout=DEADLINE)


def send_by_x11(*args):
    """The same request with no session bus to reach: it goes as an X client message."""
    return send(*args, env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent"))


BUS_NAME = "org.glimmora.Glimmora"


def bus_connection(address=None):
    """The session bus of the tests, or the bus at address."""
    from gi.repository import Gio
    if not address:
        return Gio.bus_get_sync(Gio.BusType.SESSION, None)
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


def glimmora_call(method, signature, *args, address=None):
    """Calls a method of our service; None when it is taken, else the error as (name, message)."""
    from gi.repository import Gio, GLib
    try:
        bus_connection(address).call_sync(BUS_NAME, "/org/glimmora/Glimmora", BUS_NAME, method,
                                          GLib.Variant(signature, args), None, Gio.DBusCallFlags.NONE,
                                          int(DEADLINE * 1000), None)
        return None
    except GLib.Error as e:
        name = Gio.DBusError.get_remote_error(e)
        return name, e.message.removeprefix("GDBus.Error:%s: " % name)


def bus_owner_pid(address=None):
    """The process that owns our name on the bus; None while nobody does."""
    from gi.repository import Gio, GLib
    try:
        return bus_connection(address).call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
            GLib.Variant("(s)", (BUS_NAME,)), None, Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
    except GLib.Error:
        return None


class Glimmora:
    """One running copy of the program in a folder of its own (its config.ini sits beside it)."""

    def __init__(self, config=None, extra_env=None, prepare=None, args=()):
        self.dir = tempfile.mkdtemp(prefix="glimmora-desktop-")
        self.program = os.path.join(self.dir, "glimmora")
        shutil.copy2(PROGRAM, self.program)
        # The program loads its window from beside itself.
        os.symlink(os.path.join(os.path.dirname(PROGRAM), "glimmora-gui.so"), os.path.join(self.dir, "glimmora-gui.so"))
        if os.path.isdir(STAMPS):
            os.symlink(STAMPS, os.path.join(self.dir, "stamps"))
        self.config_home = os.path.join(self.dir, "xdg")
        self.images = os.path.join(self.dir, "images")
        os.makedirs(self.images)
        if config is not None:
            self.write_config(config)
        if prepare:
            prepare(self)
        # A config.ini beside the program (empty: every default) keeps this copy's settings its own.
        if not os.path.lexists(os.path.join(self.dir, "config.ini")):
            open(os.path.join(self.dir, "config.ini"), "w").close()
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = self.config_home
        env["HOME"] = self.dir
        env["XDG_STATE_HOME"] = os.path.join(self.dir, "state")
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        env.update(extra_env or {})
        self.env = env
        self.log = open(os.path.join(self.dir, "log.txt"), "w+")
        self.launch(*args)

    def launch(self, *args):
        """Starts the program (again, once the last run has ended) in this copy's folder, with its settings."""
        self.process = subprocess.Popen([self.program, *args], env=self.env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.window = wait_until(self._main_window, "the main window to map")
        self.app = wait_until(self._accessible_app, "the program on the accessibility bus")

    def write_config(self, sections):
        parser = configparser.ConfigParser()
        parser.optionxform = str
        for name, values in sections.items():
            parser[name] = {k: str(v) for k, v in values.items()}
        with open(os.path.join(self.dir, "config.ini"), "w") as f:
            parser.write(f, space_around_delimiters=False)

    def read_config(self):
        parser = configparser.ConfigParser(strict=False)
        parser.optionxform = str
        parser.read(os.path.join(self.dir, "config.ini"))
        return parser

    def _main_window(self):
        for w in xdotool("search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Glimmora"):
            return w
        return None

    def _accessible_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                pass
        return None

    def title(self):
        return window_name(self.window)

    def visible(self):
        return self.window in xdotool("search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name",
                                      "^Glimmora")

    def first(self, matches, root=None):
        """The first accessible, depth first, for which matches(node) holds."""
        def walk(node):
            try:
                if matches(node):
                    return node
                for child in node:
                    if child is not None:
                        found = walk(child)
                        if found:
                            return found
            except Exception:
                return None
            return None
        return walk(root or self.app)

    def find(self, role, name, root=None):
        """The first accessible with this role whose name (before any tab) is name."""
        return self.first(lambda n: n.getRoleName() == role and n.name.split("\t")[0] == name, root)

    def label_with(self, text, root=None):
        """The first label whose text holds text."""
        return self.first(lambda n: n.getRoleName() == "label" and text in (n.name or ""), root)

    def message_box(self):
        return self.find("alert", "Glimmora") or self.find("dialog", "Glimmora")

    def wait_message(self, text):
        """A message box of ours ("Glimmora") saying text; answered with OK."""
        box = wait_until(lambda: (lambda b: b if b and self.label_with(text, b) else None)(self.message_box()),
                         "the message " + text)
        self.press(wait_until(lambda: self.find("push button", "OK", box), "its OK button"))
        wait_until(lambda: not self.message_box(), "the message to close")

    def status(self, text):
        return self.label_with(text)

    def menu_item(self, name):
        bar = wait_until(lambda: self.find("menu bar", ""), "the menu bar")
        return wait_until(lambda: self.find("menu item", name, bar), "menu item " + name)

    def press(self, node):
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("Press", "press", "click"):
                action.doAction(i)
                return
        action.doAction(0)

    def menu(self, name):
        self.press(self.menu_item(name))

    def checked(self, name):
        return self.menu_item(name).getState().contains(pyatspi.STATE_CHECKED)

    def dialog(self, title):
        return wait_until(lambda: self.find("dialog", title), "the dialog " + title)

    def answer(self, title, button):
        self.press(wait_until(lambda: self.find("push button", button, self.dialog(title)),
                              "the button " + button + " in " + title))

    def wait_title(self, title):
        wait_until(lambda: self.title() == title, "the title " + title + " (now " + str(self.title()) + ")")

    def wait_exit(self):
        return self.process.wait(timeout=DEADLINE)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        self.log.seek(0)
        output = self.log.read()
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return output


class DesktopTest(unittest.TestCase):
    def start(self, **kwargs):
        g = Glimmora(**kwargs)
        self.addCleanup(lambda: self._stopped(g))
        return g

    def _stopped(self, g):
        output = g.stop()
        if "ERROR: AddressSanitizer" in output or "ERROR: LeakSanitizer" in output or "runtime error" in output:
            self.fail("the program reported:\n" + output)


class StartUpAndMenus(DesktopTest):
    def test_fresh_start_opens_nothing_and_switches_nothing_on(self):
        g = self.start()
        self.assertEqual(g.title(), "Glimmora")
        for item in ("Enable hotkey", "Run as tray mode", "AutoRun when startup"):
            self.assertFalse(g.checked(item), item)
        self.assertTrue(g.checked("Main Toolbar"))
        self.assertTrue(g.checked("Status Bar"))
        # No hotkeys without the switch: the combination reaches nobody.
        xdotool("key", "ctrl+shift+f")
        g.menu("About...")
        g.answer("About Glimmora!", "OK")
        self.assertEqual(g.title(), "Glimmora")
        # Switching hotkeys on with none defined says so, instead of silently doing nothing.
        g.menu("Enable hotkey")
        g.wait_message("No hotkey is defined yet")
        wait_until(lambda: g.checked("Enable hotkey"), "the hotkey check mark")

    def test_new_twice_then_a_full_screen_capture_from_the_menu(self):
        g = self.start()
        g.menu("New")
        g.wait_title("Glimmora - Capture1")
        g.menu("New")
        g.wait_title("Glimmora - Capture2")
        self.assertTrue(g.find("frame", "Capture1"))
        g.menu("Full Screen")
        g.wait_title("Glimmora - Capture3")

    def test_a_file_saved_with_save_as_enters_the_recent_files(self):
        g = self.start()
        g.menu("New")
        g.wait_title("Glimmora - Capture1")
        g.menu("Save As...")
        dialog = wait_until(lambda: self.file_dialog(g), "the save dialog")
        wait_until(lambda: dialog.getState().contains(pyatspi.STATE_ACTIVE), "the save dialog to take the keys")
        path = os.path.join(g.images, "saved.png")
        xdotool("type", "--delay", "20", path)
        xdotool("key", "Return")
        wait_until(lambda: os.path.exists(path), "the saved file")
        wait_until(lambda: g.find("menu item", "1 " + path), "the file in the recent list")

    @staticmethod
    def file_dialog(g):
        for title in ("Save As", "Save File", ""):
            d = g.find("dialog", title)
            if d:
                return d
        return None

    def test_tools_are_chosen_through_assistive_technology_and_the_keyboard(self):
        g = self.start()
        g.menu("New")
        g.wait_title("Glimmora - Capture1")

        def tool(name):
            bar = wait_until(lambda: g.find("tool bar", "Tools"), "the Tools bar")
            for role in ("toggle button", "push button", "check box"):
                node = g.find(role, name, bar)
                if node:
                    return node
            return None

        def chosen(name, panel_label):
            node = tool(name)
            label = g.find("label", panel_label)
            return (node and node.getState().contains(pyatspi.STATE_CHECKED) and label
                    and label.getState().contains(pyatspi.STATE_SHOWING))

        arrow = wait_until(lambda: tool("Arrow"), "the Arrow button")
        # The button's own action, as a screen reader offers it.
        arrow.queryAction().doAction(0)
        wait_until(lambda: chosen("Arrow", "Style:"), "the arrow tool with its panel")
        # The state refreshes meanwhile keep it.
        g.menu("About...")
        g.answer("About Glimmora!", "OK")
        self.assertTrue(chosen("Arrow", "Style:"))
        # From the keyboard, a tool each on Ctrl and a digit.
        xdotool("windowactivate", "--sync", g.window)
        xdotool("key", "ctrl+7")
        wait_until(lambda: chosen("Shape", "Border:"), "the shape tool from the keyboard")

    def test_toggles_carry_check_marks_and_reach_config_ini_at_close(self):
        g = self.start()
        g.menu("Run as tray mode")
        wait_until(lambda: g.checked("Run as tray mode"), "the tray mode check mark")
        g.menu("Enable hotkey")
        wait_until(lambda: g.checked("Enable hotkey"), "the hotkey check mark")
        g.menu("Exit")
        self.assertEqual(g.wait_exit(), 0)
        config = g.read_config()
        self.assertEqual(config["AppSet"]["IsTrayMode"], "1")
        self.assertEqual(config["AppSet"]["IsEnableHotkey"], "1")

    def test_autorun_entry_written_and_removed(self):
        g = self.start()
        entry = os.path.join(g.config_home, "autostart", "Glimmora.desktop")
        g.menu("AutoRun when startup")
        wait_until(lambda: os.path.exists(entry), "the autostart entry")
        with open(entry) as f:
            self.assertIn("Exec=" + g.program + "\n", f.read())
        g.menu("AutoRun when startup")
        wait_until(lambda: not os.path.exists(entry), "the autostart entry to go")


class CloseSequence(DesktopTest):
    def two_changed_captures(self):
        g = self.start()
        g.menu("New")
        g.wait_title("Glimmora - Capture1")
        g.menu("New")
        g.wait_title("Glimmora - Capture2")
        return g

    def test_no_then_save_none_closes_without_saving(self):
        g = self.two_changed_captures()
        g.menu("Exit")
        g.answer("Save image", "No")
        # The second prompt, not the first one on its way out.
        wait_until(lambda: not g.find("frame", "Capture1"), "the first tab to close")
        g.answer("Save image", "Save None")
        self.assertEqual(g.wait_exit(), 0)
        self.assertEqual(os.listdir(g.images), [])
        self.assertTrue(g.read_config().has_section("AppSet"))

    def test_no_then_cancel_keeps_the_second_and_writes_nothing(self):
        g = self.two_changed_captures()
        g.menu("Exit")
        g.answer("Save image", "No")
        wait_until(lambda: not g.find("frame", "Capture1"), "the first tab to close")
        g.answer("Save image", "Cancel")
        g.wait_title("Glimmora - Capture2")
        self.assertIsNone(g.process.poll())
        self.assertEqual(os.path.getsize(os.path.join(g.dir, "config.ini")), 0)

    def test_escape_in_the_prompt_cancels(self):
        g = self.two_changed_captures()
        g.menu("Exit")
        dialog = g.dialog("Save image")
        wait_until(lambda: dialog.getState().contains(pyatspi.STATE_ACTIVE), "the prompt to take the keyboard")
        xdotool("key", "Escape")
        wait_until(lambda: not g.find("dialog", "Save image"), "the prompt to close")
        self.assertIsNone(g.process.poll())
        self.assertTrue(g.find("frame", "Capture1"))
        self.assertTrue(g.find("frame", "Capture2"))


    def test_no_capture_while_a_dialog_or_the_close_prompt_is_open(self):
        g = self.start()
        g.menu("About...")
        g.dialog("About Glimmora!")
        # Over the bus the caller hears why; an X message cannot answer, the status bar says it.
        r = send("--capture", "full")
        self.assertEqual(r.returncode, 1)
        self.assertIn("No capture while a dialog is open; close it first.", r.stderr)
        self.assertEqual(glimmora_call("Send", "(uxx)", 0x466, 0, 0),
                         ("org.glimmora.Glimmora.Error.Refused", "No capture while a dialog is open; close it first."))
        g.answer("About Glimmora!", "OK")
        wait_until(lambda: not g.find("dialog", "About Glimmora!"), "About to close")
        g.menu("About...")
        g.dialog("About Glimmora!")
        self.assertEqual(send_by_x11("--capture", "full").returncode, 0)
        wait_until(lambda: g.status("No capture while a dialog is open"), "the refusal in the status bar")
        g.answer("About Glimmora!", "OK")
        self.assertEqual(g.title(), "Glimmora")
        self.assertFalse(g.find("frame", "Capture1"))
        # During the close prompt a capture would be closed unasked: refused as well, on both ways.
        g.menu("New")
        g.wait_title("Glimmora - Capture1")
        g.menu("Exit")
        g.dialog("Save image")
        r = send("--capture", "full")
        self.assertEqual((r.returncode, r.stderr.strip()), (1, "glimmora: No capture while Glimmora is closing."))
        self.assertEqual(send_by_x11("--capture", "full").returncode, 0)
        wait_until(lambda: g.status("No capture while Glimmora is closing"), "the refusal during the close")
        g.answer("Save image", "Cancel")
        wait_until(lambda: not g.find("dialog", "Save image"), "the prompt to close")
        self.assertEqual(g.title(), "Glimmora - Capture1")
        self.assertFalse(g.find("frame", "Capture2"))
        self.assertIsNone(g.process.poll())
        # Afterwards captures run again.
        self.assertEqual(send("--capture", "full").returncode, 0)
        g.wait_title("Glimmora - Capture2")

    def test_a_failed_settings_write_is_shown_with_its_path(self):
        # A folder where config.ini should be: every write of it fails.
        g = self.start(prepare=lambda g: os.mkdir(os.path.join(g.dir, "config.ini")))
        path = os.path.join(g.dir, "config.ini")
        g.menu("Define hotkey")
        g.answer("Define hot key", "OK")
        g.wait_message("could not be saved to " + path)
        g.menu("Capture Setting")
        g.answer("Capture Setting", "OK")
        g.wait_message("could not be saved to " + path)
        g.menu("Exit")
        g.wait_message("could not be saved to " + path)
        self.assertEqual(g.wait_exit(), 0)


class OtherPrograms(DesktopTest):
    def test_requests_without_a_running_instance_fail_clearly(self):
        r = send("--capture", "full")
        self.assertEqual(r.returncode, 1)
        # Both ways were tried, each with its reason.
        self.assertIn("no Glimmora answers on the session bus: ", r.stderr)
        self.assertIn("Glimmora is not running on this display", r.stderr)
        self.assertEqual(send("--capture", "sideways").returncode, 2)
        help_text = send("--help").stdout
        for word in ("--send", "--capture", "full", "scroll", "fixed", "session", "status 1"):
            self.assertIn(word, help_text)

    def test_requests_from_another_process_start_captures(self):
        g = self.start()
        r = send("--capture", "full")
        self.assertEqual(r.returncode, 0, r.stderr)
        g.wait_title("Glimmora - Capture1")
        self.assertIsNone(glimmora_call("Send", "(uxx)", 0x466, 0, 0))
        g.wait_title("Glimmora - Capture2")
        r = send_by_x11("--send", "0x465", "1", str(int(g.window)))
        self.assertEqual(r.returncode, 0, r.stderr)
        g.wait_title("Glimmora - Capture3")
        # Modes 4 and 5 are not capture modes of this message; an unknown mode by name is not one either.
        r = send("--send", "0x466", "4", "0")
        self.assertEqual(r.returncode, 1)
        self.assertIn("takes only capture requests", r.stderr)
        self.assertEqual(glimmora_call("Capture", "(s)", "sideways"),
                         ("org.glimmora.Glimmora.Error.UnknownMode", 'There is no capture mode "sideways"; the '
                          "modes are full, window, region, active, scroll, fixed, text, screen."))
        self.assertIsNone(glimmora_call("Capture", "(s)", "full"))
        g.wait_title("Glimmora - Capture4")
        # A request loads nothing of the window: a copy of the program without its module sends it.
        alone = os.path.join(g.dir, "alone")
        os.mkdir(alone)
        shutil.copy2(PROGRAM, os.path.join(alone, "glimmora"))
        r = subprocess.run([os.path.join(alone, "glimmora"), "--capture", "full"], capture_output=True, text=True,
                           timeout=DEADLINE)
        self.assertEqual(r.returncode, 0, r.stderr)
        g.wait_title("Glimmora - Capture5")
        # Without it, what needs the window says what is missing.
        r = subprocess.run([os.path.join(alone, "glimmora")], capture_output=True, text=True, timeout=DEADLINE)
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot load " + os.path.join(alone, "glimmora-gui.so"), r.stderr)

    def test_a_capture_into_the_hidden_window_is_the_tab_the_commands_work_on(self):
        # The tab was made while the program never had the focus: the picture commands are offered at once,
        # not only after the user clicks the tab.
        g = self.start(config={"CaptureSet": {"HideWndBeforCap": "1", "RestoreWndAftCap": "1"}})
        self.assertEqual(send("--capture", "full").returncode, 0)
        g.wait_title("Glimmora - Capture1")
        g.press(g.menu_item("Image"))
        wait_until(lambda: g.menu_item("Brightness/Contrast").getState().contains(pyatspi.STATE_ENABLED),
                   "the picture commands to be offered")
        subprocess.run(["xdotool", "key", "Escape"], check=True)

    def test_menu_commands_from_other_programs_are_not_run(self):
        g = self.start()
        entry = os.path.join(g.config_home, "autostart", "Glimmora.desktop")
        for command in ("57665", "32955", "32884", "57600"):
            # An X message cannot answer; the bus says no.
            self.assertEqual(send_by_x11("--send", "0x111", command, "0").returncode, 0)
            r = send("--send", "0x111", command, "0")
            self.assertEqual(r.returncode, 1)
            self.assertIn("Glimmora takes only capture requests from other programs, not 0x111 " + command, r.stderr)
        # Requests are handled in order: once this capture is in, the ones before were refused.
        self.assertEqual(send_by_x11("--capture", "full").returncode, 0)
        g.wait_title("Glimmora - Capture1")
        self.assertIsNone(g.process.poll())
        self.assertFalse(os.path.exists(entry))
        self.assertFalse(g.checked("Run as tray mode"))

    def test_a_second_instance_beside_the_first(self):
        hotkeys = {"AppSet": {"IsEnableHotkey": 1},
                   "CapFullScreen": {"Hotkey": 70, "HotkeyMask": 6}}
        first = self.start(config=hotkeys)
        wait_until(lambda: bus_owner_pid() == first.process.pid, "the first instance to own the bus name")
        second = self.start(config=hotkeys)
        self.assertNotEqual(first.window, second.window)
        # The second could not take the combination; the first still has it.
        xdotool("key", "ctrl+shift+f")
        first.wait_title("Glimmora - Capture1")
        self.assertEqual(second.title(), "Glimmora")
        # Requests go to the newest instance.
        wait_until(lambda: bus_owner_pid() == second.process.pid, "the newest instance to own the bus name")
        self.assertEqual(send("--capture", "full").returncode, 0)
        second.wait_title("Glimmora - Capture1")
        # Once it has gone, to the one still running, on the bus as on the X display.
        second.menu("Exit")
        second.answer("Save image", "No")
        self.assertEqual(second.wait_exit(), 0)
        self.assertEqual(bus_owner_pid(), first.process.pid)
        self.assertEqual(send("--capture", "full").returncode, 0, "the remaining instance is not found")
        first.wait_title("Glimmora - Capture2")
        self.assertEqual(send_by_x11("--capture", "full").returncode, 0, "the remaining window is not found")
        first.wait_title("Glimmora - Capture3")

    def test_a_request_starts_glimmora_through_the_bus(self):
        """A private bus that knows the build's service file starts the program for the first request."""
        home = tempfile.mkdtemp(prefix="glimmora-activation-")
        self.addCleanup(shutil.rmtree, home, True)
        config = bus_config(home, os.environ["GLIMMORA_SERVICE_DIR"])
        # What the bus starts inherits its environment: settings of its own, no accessibility bus.
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "xdg"), HOME=home, NO_AT_BRIDGE="1")
        env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        log = open(os.path.join(home, "log.txt"), "w+")
        self.addCleanup(log.close)
        bus = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=log, text=True, env=env)
        self.addCleanup(lambda: (bus.terminate(), bus.wait()))
        address = bus.stdout.readline().strip()
        self.assertIsNone(bus_owner_pid(address))
        r = send("--capture", "full", env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address))
        self.assertEqual(r.returncode, 0, r.stderr)
        pid = bus_owner_pid(address)
        self.assertIsNotNone(pid)
        self.addCleanup(lambda: subprocess.run(["kill", "-KILL", str(pid)], capture_output=True))
        self.assertEqual(os.path.realpath("/proc/%d/exe" % pid), os.path.realpath(PROGRAM))
        # The call waited in the bus while the program started; the capture is in its first document (the
        # window is minimised after it, as after any capture with the default settings).
        window = wait_until(lambda: xdotool("search", "--all", "--pid", str(pid), "--name", "^Glimmora - Capture1$"),
                            "the started program's capture")
        # Its name works like any instance's from then on.
        self.assertIsNone(glimmora_call("Capture", "(s)", "full", address=address))
        wait_until(lambda: window_name(window[0]) == "Glimmora - Capture2", "the second capture")
        log.seek(0)
        self.assertNotIn("ERROR: AddressSanitizer", log.read())


class Hotkeys(DesktopTest):
    def test_default_combinations_start_their_captures(self):
        config = {"AppSet": {"IsEnableHotkey": 1}}
        for section, key in (("CapFullScreen", 70), ("CapWindows", 87), ("CapActiveWindow", 65),
                             ("CapRegion", 82), ("CapScroll", 83), ("CapFixRect", 88)):
            config[section] = {"Hotkey": key, "HotkeyMask": 6}
        # Current Screen has no default; one recorded works as the others do.
        config["CapScreen"] = {"Hotkey": 77, "HotkeyMask": 6}
        config["CaptureSet"] = {"CapDelayTime": 0}
        g = self.start(config=config)
        xdotool("key", "ctrl+shift+f")
        g.wait_title("Glimmora - Capture1")
        xdotool("key", "ctrl+shift+m")
        g.wait_title("Glimmora - Capture2")
        # The region capture opens the selection overlay; Esc cancels it and nothing is captured.
        xdotool("key", "ctrl+shift+r")
        wait_until(lambda: self.overlay(g), "the selection overlay")
        xdotool("key", "Escape")
        wait_until(lambda: not self.overlay(g), "the overlay to close")
        self.assertEqual(g.title(), "Glimmora - Capture2")
        # Switched off, the combination does nothing.
        g.menu("Enable hotkey")
        wait_until(lambda: not g.checked("Enable hotkey"), "the check mark to go")
        xdotool("key", "ctrl+shift+f")
        g.menu("New")
        g.wait_title("Glimmora - Capture3")


    def test_combinations_held_elsewhere_are_named_and_taken_when_free(self):
        combination = {"CapFullScreen": {"Hotkey": 70, "HotkeyMask": 6}, "CaptureSet": {"CapDelayTime": 0}}
        holder = self.start(config={"AppSet": {"IsEnableHotkey": 1}, **combination})
        g = self.start(config=combination)
        g.menu("Enable hotkey")
        g.wait_message("Ctrl + Shift + F (Capture full screen)")
        holder.menu("Exit")
        self.assertEqual(holder.wait_exit(), 0)
        # Off and on again: the combination is free now and taken without a word.
        g.menu("Enable hotkey")
        wait_until(lambda: not g.checked("Enable hotkey"), "the check mark to go")
        g.menu("Enable hotkey")
        wait_until(lambda: g.checked("Enable hotkey"), "the check mark")
        xdotool("key", "ctrl+shift+f")
        g.wait_title("Glimmora - Capture1")

    def test_esc_ends_a_long_capture_delay(self):
        g = self.start(config={"CaptureSet": {"CapDelayTime": 5000000}})
        self.assertEqual(send("--capture", "full").returncode, 0)
        wait_until(lambda: g.status("Esc cancels"), "the delay's note in the status bar")

        def cancelled():
            if g.status("The capture was cancelled"):
                return True
            xdotool("key", "Escape")
            return False
        wait_until(cancelled, "Esc to cancel the capture")
        self.assertEqual(g.title(), "Glimmora")
        # The program answers again.
        g.menu("New")
        g.wait_title("Glimmora - Capture1")

    def test_without_hotkeys_on_the_desktop_the_commands_to_bind_are_offered(self):
        g = self.start(config={"CapFullScreen": {"Hotkey": 70, "HotkeyMask": 6}, "CaptureSet": {"CapDelayTime": 0}},
                       extra_env={"GLIMMORA_NO_HOTKEYS": "1"})
        g.menu("Enable hotkey")
        g.wait_message("Hotkeys cannot be taken on this desktop: GLIMMORA_NO_HOTKEYS is set.")
        g.menu("Define hotkey")
        dialog = g.dialog("Define hot key")
        self.assertTrue(g.label_with("Bind these commands to keys in the desktop's keyboard settings", dialog))
        copy = wait_until(lambda: g.find("push button", "Copy glimmora --capture full", dialog), "the Copy button")
        g.press(copy)

        def clipboard():
            r = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, text=True)
            return r.stdout if r.returncode == 0 else None
        wait_until(lambda: clipboard() == "glimmora --capture full", "the command on the clipboard")
        g.answer("Define hot key", "Cancel")
        wait_until(lambda: not g.find("dialog", "Define hot key"), "the dialog to close")
        # What the desktop's key binding would run starts the capture.
        r = send(*clipboard().split()[1:])
        self.assertEqual(r.returncode, 0, r.stderr)
        g.wait_title("Glimmora - Capture1")

    @staticmethod
    def overlay(g):
        return xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name", "^Glimmora capture$")


class Tray(DesktopTest):
    def test_left_click_hides_and_restores(self):
        trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                   "--width", "200", "--height", "24"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (trayer.terminate(), trayer.wait()))
        wait_until(lambda: xdotool("search", "--all", "--onlyvisible", "--pid", str(trayer.pid), "--name", ".*"),
                   "the tray to map")
        g = self.start(config={"AppSet": {"IsTrayMode": 1}})
        icon = wait_until(lambda: self.tray_icon(g), "the tray icon")
        # The two clicks land apart, so they are two clicks and not one double click.
        self.click(icon, 4)
        wait_until(lambda: not g.visible(), "the main window to hide")
        self.click(icon, -4)
        wait_until(g.visible, "the main window to come back")
        # Minimised in tray mode, the window leaves the taskbar (withdrawn, not iconic); the icon restores it.
        xdotool("windowminimize", g.window)
        wait_until(lambda: wm_state(g.window) == "Withdrawn", "the window to leave the taskbar")
        self.click(icon, 4)
        wait_until(g.visible, "the main window to come back again")

    def start_trayer(self):
        trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                   "--width", "200", "--height", "24"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (trayer.terminate(), trayer.wait()))
        wait_until(lambda: xdotool("search", "--all", "--onlyvisible", "--pid", str(trayer.pid), "--name", ".*"),
                   "the tray to map")
        return trayer

    def test_after_hotkey_captures_one_click_brings_the_window_back(self):
        self.start_trayer()
        g = self.start(config={"AppSet": {"IsTrayMode": 1, "IsEnableHotkey": 1},
                               "CapFullScreen": {"Hotkey": 70, "HotkeyMask": 6},
                               "CaptureSet": {"CapDelayTime": 0, "HideWndBeforCap": 1}})
        icon = wait_until(lambda: self.tray_icon(g), "the tray icon")
        xdotool("key", "ctrl+shift+f")
        g.wait_title("Glimmora - Capture1")
        wait_until(lambda: not g.visible(), "the window to go to the tray")
        xdotool("key", "ctrl+shift+f")
        g.wait_title("Glimmora - Capture2")
        wait_until(lambda: not g.visible(), "the window to go to the tray again")
        self.click(icon, 4)
        wait_until(lambda: g.visible() and wm_state(g.window) == "Normal", "one click to bring the window back")

    def test_tray_mode_without_a_notification_area_minimises_until_one_starts(self):
        g = self.start(config={"AppSet": {"IsTrayMode": 1}})
        wait_until(lambda: g.status("No tray found"), "the reason in the status bar")
        xdotool("windowminimize", g.window)
        wait_until(lambda: wm_state(g.window) == "Iconic", "the window to stay on the taskbar")
        xdotool("windowactivate", g.window)
        wait_until(lambda: wm_state(g.window) == "Normal", "the window to come back")
        self.start_trayer()
        wait_until(lambda: self.tray_icon(g), "the tray icon")
        xdotool("windowminimize", g.window)
        wait_until(lambda: wm_state(g.window) == "Withdrawn", "the window to leave the taskbar for the tray")

    def test_without_tray_mode_minimising_keeps_the_window_on_the_taskbar(self):
        g = self.start()
        xdotool("windowminimize", g.window)
        wait_until(lambda: wm_state(g.window) == "Iconic", "the window to be minimised")
        self.assertIsNone(g.process.poll())
        self.assertEqual(wm_state(g.window), "Iconic")

    @staticmethod
    def tray_icon(g):
        # Qt's embedded icon window is a small visible window of the program that is not the main window.
        for w in xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name", ""):
            if w == g.window:
                continue
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", w], capture_output=True,
                                      text=True).stdout
            values = dict(line.split("=", 1) for line in geometry.split())
            if 0 < int(values.get("WIDTH", 0)) <= 64 and 0 < int(values.get("HEIGHT", 0)) <= 64:
                return (w, values)
        return None

    @staticmethod
    def click(icon, offset):
        w, values = icon
        x = int(values["WIDTH"]) // 2 + offset
        xdotool("mousemove", "--window", w, str(x), str(int(values["HEIGHT"]) // 2))
        xdotool("click", "1")


class BarsAndFiles(DesktopTest):
    @staticmethod
    def showing(node):
        return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)

    def test_closed_bars_come_back_from_the_view_menu_after_a_restart(self):
        g = self.start()
        dock = wait_until(lambda: g.find("frame", "Param Setting"), "the Param Setting bar")
        # Closed as a click or an assistive tool closes it: its own Close button.
        g.press(wait_until(lambda: g.find("push button", "Close", dock), "its Close button"))
        wait_until(lambda: not self.showing(g.find("frame", "Param Setting")), "the Param Setting bar to close")
        # The Tools bar from the bars' context menu, opened on the bar itself. The menu is made as it opens,
        # after the accessibility tree was read: it is found as a new window and used from the keyboard.
        windows = set(xdotool("search", "--onlyvisible", "--pid", str(g.process.pid), ""))
        x, y, w, h = g.find("tool bar", "Tools").queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + w // 2), str(y + h - 4), "click", "3")
        wait_until(lambda: set(xdotool("search", "--onlyvisible", "--pid", str(g.process.pid), "")) - windows,
                   "the bars' context menu")
        # Its last entry, after Param Setting and Main Toolbar.
        xdotool("key", "Up", "Return")
        wait_until(lambda: not self.showing(g.find("tool bar", "Tools")), "the Tools bar to close")
        g.menu("Exit")
        self.assertEqual(g.wait_exit(), 0)
        with open(os.path.join(g.dir, "state.ini")) as f:
            self.assertIn("[MainWindow]", f.read())

        # The layout is kept, and the View menu brings each bar back.
        g.launch()
        self.assertFalse(self.showing(g.find("frame", "Param Setting")))
        self.assertFalse(self.showing(g.find("tool bar", "Tools")))
        for item, role, name in (("Param Setting", "frame", "Param Setting"), ("Tools Bar", "tool bar", "Tools")):
            self.assertFalse(g.checked(item), item)
            g.menu(item)
            wait_until(lambda: self.showing(g.find(role, name)), "the bar " + name + " to show")
            wait_until(lambda: g.checked(item), "the check mark of " + item)

    def test_files_open_as_tabs_here_or_in_the_window_already_running(self):
        folder = tempfile.mkdtemp(prefix="glimmora-files-")
        self.addCleanup(shutil.rmtree, folder, True)
        for name in ("a.png", "b.png", "c.bmp", "d.png"):
            subprocess.run(["convert", "-size", "40x30", "xc:red", os.path.join(folder, name)], check=True)
        g = self.start(args=[os.path.join(folder, "a.png")])
        g.wait_title("Glimmora - a.png")
        wait_until(lambda: bus_owner_pid() == g.process.pid, "the window to own the bus name")

        def run(*command, env=None):
            return subprocess.run(command, cwd=folder, env=env or g.env, capture_output=True, text=True,
                                  timeout=DEADLINE)

        # Names relative to the caller's folder; no second window starts.
        r = run(g.program, "b.png", "c.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        for name in ("b.png", "c.bmp"):
            wait_until(lambda: g.find("frame", name), "the tab " + name)
        self.assertEqual(len(xdotool("search", "--all", "--onlyvisible", "--name", "^Glimmora")), 1)
        # A file that does not open is said as File > Open says it, by the window that was asked.
        r = run(g.program, "missing.png")
        self.assertEqual(r.returncode, 0, r.stderr)
        g.wait_message('Cannot open the file "%s"' % os.path.join(folder, "missing.png"))

        # Open With on the desktop: our launcher the default for PNG pictures, in a private setup.
        data, config = os.path.join(folder, "data"), os.path.join(folder, "config")
        os.makedirs(os.path.join(data, "applications"))
        os.makedirs(config)
        shutil.copy(os.environ["GLIMMORA_LAUNCHER"], os.path.join(data, "applications"))
        with open(os.path.join(config, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\nimage/png=org.glimmora.Glimmora.desktop\n")
        r = run("gio", "open", os.path.join(folder, "d.png"), env=dict(g.env, XDG_DATA_HOME=data,
                                                                       XDG_CONFIG_HOME=config))
        self.assertEqual(r.returncode, 0, r.stderr)
        wait_until(lambda: g.find("frame", "d.png"), "the tab d.png")


class SeveralMonitors(DesktopTest):
    """The screen split into two RandR monitors side by side, as a dual-head desktop shows it."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="glimmora-monitors-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        root = subprocess.run(["xwininfo", "-root"], capture_output=True, text=True, check=True).stdout
        v = {k.strip(): val.strip() for k, _, val in (line.partition(":") for line in root.splitlines())}
        self.width, self.height = int(v["Width"]), int(v["Height"])
        self.half = self.width // 2 + 37  # not the middle: a picture mirrored or halved cannot pass
        for name, x, w, output in (("LEFT", 0, self.half, "screen"), ("RIGHT", self.half, self.width - self.half,
                                                                          "none")):
            subprocess.run(["xrandr", "--setmonitor", name, "%d/254x%d/286+%d+0" % (w, self.height, x), output],
                           check=True)
            self.addCleanup(subprocess.run, ["xrandr", "--delmonitor", name])
        # Text across the seam and on each side, so that a picture cut from another place differs.
        for title, x in (("seam", self.half - 300), ("left", 40), ("right", self.width - 500)):
            term = subprocess.Popen(["xterm", "-T", title, "-geometry", "50x20+%d+%d" % (x, 150), "-e", "sh", "-c",
                                     "printf '\\033[?25l'; ls -l /usr/bin | head -19; sleep 600"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(lambda p=term: (p.terminate(), p.wait()))
            wait_until(lambda: xdotool("search", "--onlyvisible", "--name", "^%s$" % title), "the terminal " + title)

    def saved(self, g, n):
        path = os.path.join(g.images, "Snap%d.png" % n)
        def ready():
            if not os.path.exists(path):
                return None
            r = subprocess.run(["identify", path], capture_output=True)
            return path if r.returncode == 0 else None
        return wait_until(ready, "the capture saved as " + path)

    def root(self, name, crop=None):
        path = os.path.join(self.tmp, name)
        subprocess.run(["import", "-window", "root", path], check=True)
        if crop:
            x, y, w, h = crop
            subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", path], check=True)
        return path

    @staticmethod
    def frame(window):
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        v = {k.strip(): val.strip() for k, _, val in (line.partition(":") for line in info.splitlines())}
        return (int(v["Absolute upper-left X"]), int(v["Absolute upper-left Y"]), int(v["Width"]), int(v["Height"]))

    @staticmethod
    def inside(rect, monitor):
        x, y, w, h = rect
        mx, my, mw, mh = monitor
        return mx <= x and my <= y and x + w <= mx + mw and y + h <= my + mh

    def assertSamePicture(self, got, want):
        r = subprocess.run(["compare", "-metric", "AE", got, want, "null:"], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, "%s and %s differ: %s" % (got, want, r.stderr))

    def test_full_screen_current_screen_and_a_region_across_the_seam(self):
        # Saved at once into this copy's own folder; the window stays hidden after the first capture.
        g = self.start(prepare=lambda g: g.write_config({
            "CaptureSet": {"HideWndBeforCap": "1", "RestoreWndAftCap": "0", "CapDelayTime": "0",
                           "CopyToClipboard": "0"},
            "AudoSaveSet": {"IsAudoSave": "1", "ImageFormat": "2", "ImageSavePath": g.images,
                            "ImageSaveTitle": "Snap", "StartNum": "1"}}))
        self.assertEqual(send("--capture", "full").returncode, 0)
        full = self.saved(g, 1)
        wait_until(lambda: not g.visible(), "the window to hide")
        self.assertSamePicture(full, self.root("root.png"))
        # Current Screen: the monitor under the pointer, each in turn.
        for n, (x, w) in ((2, (self.half, self.width - self.half)), (3, (0, self.half))):
            xdotool("mousemove", str(x + 200), "600")
            self.assertEqual(send("--capture", "screen").returncode, 0)
            self.assertSamePicture(self.saved(g, n), self.root("screen%d.png" % n, (x, 0, w, self.height)))
        # One overlay over both monitors; a region dragged from the left one into the right one.
        self.assertEqual(send("--capture", "region").returncode, 0)
        overlay = wait_until(lambda: xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid),
                                             "--name", "^Glimmora capture$"), "the selection overlay")
        info = subprocess.run(["xwininfo", "-id", overlay[0]], capture_output=True, text=True).stdout
        self.assertIn("-geometry %dx%d+0+0" % (self.width, self.height), info)
        start, end = (self.half - 250, 180), (self.half + 150, 420)
        xdotool("mousemove", str(start[0]), str(start[1]))
        xdotool("mousedown", "1")
        xdotool("mousemove", str(self.half), "300")
        xdotool("mousemove", str(end[0]), str(end[1]))
        xdotool("mouseup", "1")
        region = self.saved(g, 4)
        wait_until(lambda: not xdotool("search", "--all", "--onlyvisible", "--pid", str(g.process.pid), "--name",
                                       "^Glimmora capture$"), "the overlay to close")
        self.assertSamePicture(region, self.root("region.png", (start[0], start[1], end[0] - start[0],
                                                                end[1] - start[1])))
        # Brought back and moved to the right monitor, dialogs open there, inside it.
        xdotool("windowactivate", g.window)
        wait_until(g.visible, "the window to come back")
        right = (self.half, 0, self.width - self.half, self.height)
        xdotool("windowmove", g.window, str(self.half + 60), "80")
        wait_until(lambda: self.inside(self.frame(g.window), right), "the window on the right monitor")
        for item, title in (("About...", "About Glimmora!"), ("Capture Setting", "Capture Setting")):
            before = set(xdotool("search", "--onlyvisible", "--pid", str(g.process.pid), ""))
            g.menu(item)
            g.dialog(title)
            shown = wait_until(lambda: set(xdotool("search", "--onlyvisible", "--pid", str(g.process.pid), ""))
                               - before, "the window of " + title)
            for w in shown:
                self.assertTrue(self.inside(self.frame(w), right), "%s at %s" % (title, self.frame(w)))
            xdotool("key", "Escape")
            wait_until(lambda: not g.find("dialog", title), "the dialog " + title + " to close")
        # A capture hides the window; brought back, it is where the user left it.
        where = self.frame(g.window)
        self.assertEqual(send("--capture", "full").returncode, 0)
        self.saved(g, 5)
        xdotool("windowactivate", g.window)
        wait_until(lambda: g.visible() and self.frame(g.window) == where,
                   "the window back at %s (now %s)" % (where, self.frame(g.window)))


class Recovery(DesktopTest):
    """Edits outlive a kill: the next start offers them back."""

    def setUp(self):
        self.state = tempfile.mkdtemp(prefix="glimmora-state-")
        self.addCleanup(shutil.rmtree, self.state, True)
        self.folder = os.path.join(self.state, "glimmora", "recovery")
        self.work = tempfile.mkdtemp(prefix="glimmora-work-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def start_here(self, **env):
        return self.start(extra_env=dict(XDG_STATE_HOME=self.state, **env))

    def entries(self, suffix=".ini"):
        if not os.path.isdir(self.folder):
            return []
        return sorted(os.path.join(self.folder, n) for n in os.listdir(self.folder) if n.endswith(suffix))

    def sidecar(self, path):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(path)
        return dict(parser["Recovery"])

    def keep_picture(self, sidecar):
        kept = os.path.join(self.work, "kept.bmp")
        shutil.copy(sidecar[:-len(".ini")] + ".bmp", kept)
        return kept

    def same_pixels(self, a, b):
        r = subprocess.run(["compare", "-metric", "AE", "-alpha", "off", a, b, "null:"], capture_output=True, text=True)
        return r.stderr.strip() == "0"

    def restore(self, g, count_text):
        box = wait_until(lambda: (lambda b: b if b and g.label_with(count_text, b) else None)(g.message_box()),
                         "the offer to restore")
        self.press(g, box, "Restore")

    @staticmethod
    def press(g, box, name):
        # Once it shows: the offer is built before it maps, and a button not yet shown takes no press.
        g.press(wait_until(lambda: (lambda b: b if b and b.getState().contains(pyatspi.STATE_SHOWING) else None)(
            g.find("push button", name, box)), "the button " + name + " on the screen"))

    def type_into_file_dialog(self, g, path):
        dialog = wait_until(lambda: g.find("dialog", "Open") or g.find("dialog", "Save As") or g.find("dialog", ""),
                            "the file dialog")
        wait_until(lambda: dialog.getState().contains(pyatspi.STATE_ACTIVE), "the file dialog to take the keys")
        xdotool("type", "--delay", "20", path)
        xdotool("key", "Return")

    def two_captures_with_entries(self):
        """A run with two unsaved captures and their recovery entries; the entries by title."""
        g = self.start_here(GLIMMORA_RECOVERY_SECONDS="1")
        for title in ("Capture1", "Capture2"):
            self.assertEqual(send("--capture", "full").returncode, 0)
            g.wait_title("Glimmora - " + title)
        wait_until(lambda: len(self.entries()) == 2, "two recovery entries")
        return g, {self.sidecar(e)["Title"]: e for e in self.entries()}

    def test_a_killed_capture_comes_back_and_a_normal_exit_leaves_nothing(self):
        g, by_title = self.two_captures_with_entries()
        fields = self.sidecar(by_title["Capture2"])
        self.assertEqual((fields["Pid"], fields["Path"]), (str(g.process.pid), ""))
        kept = self.keep_picture(by_title["Capture2"])
        g.process.send_signal(signal.SIGKILL)
        g.process.wait()
        # Only the second is left to offer (as if the first had been saved); a damaged entry beside it is
        # named in the status bar and left alone.
        for suffix in (".ini", ".bmp"):
            os.unlink(by_title["Capture1"][:-len(".ini")] + suffix)
        with open(os.path.join(self.folder, "77-1.ini"), "w") as f:
            f.write("not an entry")

        h = self.start_here(GLIMMORA_RECOVERY_SECONDS="1")
        self.restore(h, "closed without saving 1 picture")
        h.wait_title("Glimmora - Capture2")
        wait_until(lambda: h.status("77-1.ini"), "the damaged entry in the status bar")
        # The entry now belongs to the new run, and the killed run's is gone.
        wait_until(lambda: [self.sidecar(e)["Pid"] for e in self.entries() if "77-1" not in e] == [str(h.process.pid)],
                   "the entry to pass to the new run")
        # New captures count on from the restored title.
        self.assertEqual(send("--capture", "full").returncode, 0)
        h.wait_title("Glimmora - Capture3")
        # Still unsaved: Exit asks, and the picture saved from the prompt is the one that was killed.
        h.menu("Exit")
        prompt = h.dialog("Save image")
        self.assertTrue(h.label_with("Capture2", prompt))
        h.answer("Save image", "Yes")
        saved = os.path.join(self.work, "restored.png")
        self.type_into_file_dialog(h, saved)
        wait_until(lambda: h.label_with("Capture3", h.dialog("Save image")), "the prompt for the new capture")
        h.answer("Save image", "Save None")
        self.assertEqual(h.wait_exit(), 0)
        self.assertTrue(self.same_pixels(kept, saved))
        self.assertEqual(os.listdir(self.folder), ["77-1.ini"])

    def test_one_offer_at_a_time_names_each_picture_and_lets_captures_run(self):
        g, by_title = self.two_captures_with_entries()
        g.process.send_signal(signal.SIGKILL)
        g.process.wait()

        h = self.start_here(GLIMMORA_RECOVERY_SECONDS="1")
        box = wait_until(lambda: (lambda b: b if b and h.label_with("closed without saving 2 pictures", b) else None)(
            h.message_box()), "the offer")
        # Each picture by its title and the local time its entry was last written.
        for title, sidecar in by_title.items():
            written = datetime.datetime.fromisoformat(self.sidecar(sidecar)["Time"].replace("Z", "+00:00"))
            shown = "%s (as of %s)" % (title, written.astimezone().strftime("%Y-%m-%d %H:%M"))
            self.assertTrue(h.label_with(shown, box), shown)
        # Not modal: a capture asked for meanwhile is taken.
        self.assertEqual(send("--capture", "full").returncode, 0)
        h.wait_title("Glimmora - Capture1")

        # A second copy started now leaves them to the first, and says so instead of offering them again.
        k = self.start_here()
        wait_until(lambda: k.status("being offered by another Glimmora"), "the note in the second copy")
        self.assertIsNone(k.message_box())
        k.menu("New")
        wait_until(lambda: not k.status("being offered by another Glimmora"), "the note to clear")

        # One of them taken elsewhere meanwhile (as a Glimmora without the lock would): said as taken.
        for suffix in (".ini", ".bmp"):
            os.unlink(by_title["Capture1"][:-len(".ini")] + suffix)
        self.press(h, box, "Restore")
        wait_until(lambda: h.status("Already taken by another Glimmora: Capture1"), "the taken picture named")
        self.assertFalse(h.status("could not be read"))
        wait_until(lambda: h.find("frame", "Capture2"), "the restored picture")
        # Its entry passes to the first copy beside the capture's, and the lock goes with the answer.
        wait_until(lambda: [self.sidecar(e)["Pid"] for e in self.entries()] == [str(h.process.pid)] * 2,
                   "both entries to belong to the first copy")
        wait_until(lambda: not [n for n in os.listdir(self.folder) if n.startswith(".")], "the lock to go")
        # A copy started later has nothing to offer: every entry has a live writer.
        m = self.start_here()
        m.menu("New")
        m.wait_title("Glimmora - Capture1")
        self.assertIsNone(m.message_box())

    def test_a_folder_that_cannot_be_written_is_said_once(self):
        with open(os.path.join(self.state, "glimmora"), "w") as f:
            f.write("a file where the folder should be")
        g = self.start_here(GLIMMORA_RECOVERY_SECONDS="1")
        g.menu("New")
        g.wait_title("Glimmora - Capture1")
        wait_until(lambda: g.status("Unsaved pictures cannot be kept in " + self.folder), "the note")

    def test_sigterm_writes_at_once_and_restore_keeps_the_file_name(self):
        picture = os.path.join(self.work, "pic.png")
        subprocess.run(["convert", "-size", "40x30", "gradient:red-blue", picture], check=True)
        g = self.start_here()
        g.menu("Open...")
        self.type_into_file_dialog(g, picture)
        g.wait_title("Glimmora - pic.png")
        g.menu("Rotate 90")
        wait_until(lambda: g.menu_item("Undo").getState().contains(pyatspi.STATE_ENABLED), "the rotation")
        self.assertEqual(self.entries(), [])
        g.process.send_signal(signal.SIGTERM)
        self.assertEqual(g.wait_exit(), 0)
        # A normal end otherwise: the close wrote its settings.
        self.assertTrue(g.read_config().has_section("AppSet"))
        [sidecar] = self.entries()
        fields = self.sidecar(sidecar)
        self.assertEqual((fields["Title"], fields["Path"]), ("pic.png", picture))
        kept = self.keep_picture(sidecar)

        h = self.start_here()
        self.restore(h, "closed without saving 1 picture")
        h.wait_title("Glimmora - pic.png")
        # Save goes to the file it came from, without asking.
        h.menu("Save")
        size = lambda: subprocess.run(["identify", "-format", "%wx%h", picture], capture_output=True,
                                      text=True).stdout
        wait_until(lambda: size() == "30x40", "the rotated picture in its file")
        self.assertTrue(self.same_pixels(kept, picture))
        wait_until(lambda: self.entries("") == [], "the entry to go once saved")

        # Discard: the next edit is offered once, then gone, and the file keeps what was saved.
        # The menu's action is answered once the command has run.
        h.menu("Rotate 90")
        h.process.send_signal(signal.SIGTERM)
        self.assertEqual(h.wait_exit(), 0)
        self.assertEqual(len(self.entries()), 1)
        k = self.start_here()
        box = wait_until(lambda: k.message_box(), "the second offer")
        self.press(k, box, "Discard")
        wait_until(lambda: self.entries("") == [], "the discarded entry to go")
        self.assertEqual(k.title(), "Glimmora")
        self.assertEqual(size(), "30x40")


if __name__ == "__main__":
    unittest.main(verbosity=2)
