"""The desktop the program runs in: Xvfb, a session bus, the accessibility bus and openbox, and
the handling of every process a test starts (each in a group of its own, ended however the test
ends). Every wait has a deadline."""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

import context

# Bound of every wait for the program or the session; generous, since a shared machine may be slow.
TIMEOUT = 45.0


def log(message):
    print(f"[{time.monotonic() - STARTED:6.1f}s] {message}", flush=True)


STARTED = time.monotonic()


def wait_for(what, probe, timeout=TIMEOUT, interval=0.1):
    """Polls probe until it returns something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        if context.EVENTS:
            context.EVENTS.pump()
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # an object that vanished between two calls, a busy program
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise AssertionError(f"gave up after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def run(*command, timeout=TIMEOUT, check=True):
    return subprocess.run(command, env=context.SESSION.env, timeout=timeout, check=check,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


# --- the X session ------------------------------------------------------------------------------

class Session:
    """Xvfb, a session bus, the accessibility bus and openbox, each in a process group of its own."""

    def __init__(self):
        # Short, so that the paths of the result rows show whole in the screenshots.
        self.root = tempfile.mkdtemp(prefix="sv-")
        self.processes = []
        self.logs = {}
        self.home = self._folder("home")
        self.config = self._folder("config")
        self.runtime = self._folder("runtime")
        os.chmod(self.runtime, 0o700)  # Qt ignores a runtime folder that others may enter
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("WAYLAND_DISPLAY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS",
                                 "AT_SPI_BUS_ADDRESS", "XAUTHORITY", "QT_QPA_PLATFORM")}
        self.env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CACHE_HOME": self._folder("cache"),
            "XDG_DATA_HOME": self._folder("data"),
            "LANG": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
        })

    def _folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path)
        return path

    def spawn(self, name, command, env=None, **kwargs):
        # One log per name and run; each start of the program adds to the program's log.
        if name not in self.logs:
            self.logs[name] = open(os.path.join(context.OUT_DIR, f"{name}.log"), "wb")
        out = self.logs[name]
        out.write(f"--- {' '.join(command)}\n".encode())
        out.flush()
        process = subprocess.Popen(command, env=env or self.env, stdin=subprocess.DEVNULL,
                                   stdout=kwargs.pop("stdout", out), stderr=out,
                                   start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def start(self):
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=[write_end])
        os.close(write_end)
        display = self._read_line(read_end, "Xvfb to choose a free display")
        self.env["DISPLAY"] = f":{display}"
        log(f"Xvfb on display :{display}")

        bus = self.spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line(bus.stdout.fileno(),
                                                               "the session bus address")

        self.spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for("the accessibility bus on the session bus", lambda: "true" in run(
            "dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
            "string:org.a11y.Bus", check=False).stdout)

        ready = os.path.join(self.root, "openbox-ready")
        self.spawn("openbox", ["openbox", "--sm-disable", "--startup", f"touch {ready}"])
        wait_for("openbox to manage the screen", lambda: os.path.exists(ready))

        # The AT-SPI client finds both buses through this process's environment.
        for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[key] = self.env[key]

    def _read_line(self, fd, what):
        data = b""
        deadline = time.monotonic() + TIMEOUT
        while not data.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
                raise AssertionError(f"gave up waiting for {what}")
            chunk = os.read(fd, 4096)
            if not chunk:
                raise AssertionError(f"ended before giving {what}")
            data += chunk
        return data.decode().strip()

    def stop(self):
        processes, self.processes = self.processes, []
        for process in reversed(processes):
            stop_group(process)
        for process in processes:
            if process.stdout:
                process.stdout.close()
        for out in self.logs.values():
            out.close()
        shutil.rmtree(self.root, ignore_errors=True)


def stop_group(process, grace=5.0):
    """Ends a process and everything in its group, and reaps it. The group is signalled only
    while its leader is not reaped: until then no other process can be given its id."""
    if process.returncode is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        # Ended, but left unreaped so that the id still names the group.
        if os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
            break
        time.sleep(0.02)
    try:
        os.killpg(process.pid, signal.SIGKILL)  # whatever of the group outlived the request
    except ProcessLookupError:
        pass
    process.wait(timeout=grace)


class Lines:
    """The lines a helper program prints, each waited for with a deadline."""

    def __init__(self, stream):
        self.fd = stream.fileno()
        self.buffer = b""

    def next(self, what):
        deadline = time.monotonic() + TIMEOUT
        while b"\n" not in self.buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self.fd], [], [], remaining)[0]:
                raise AssertionError(f"gave up waiting for {what}")
            chunk = os.read(self.fd, 4096)
            if not chunk:
                raise AssertionError(f"the program ended before {what}")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()
