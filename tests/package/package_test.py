#!/usr/bin/python3
"""The Debian package, built from this build folder, unpacked into a temporary root and checked.

usage: package_test.py --cpack-config FILE --build-dir DIR [--package-dir OUT] [unittest options and cases]
       package_test.py --cpack-config FILE --build-dir DIR --build-package OUT
       package_test.py --list

--build-package builds the package into OUT, once for all cases; --package-dir has the cases
check the package found there instead of building their own.
"""

import argparse
import glob
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import ctest_cases  # noqa: E402  (needs the path above)

TIMEOUT = 60.0
CPACK_CONFIG = ""
BUILD_DIR = ""
PACKAGE_DIR = ""
ID = "org.sorvane.Sorvane"


def run(*command, check=True, **kwargs):
    return subprocess.run(command, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=TIMEOUT, **kwargs)


def png_size(path):
    with open(path, "rb") as png:
        header = png.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        raise AssertionError(f"{path} is no PNG")
    return struct.unpack(">II", header[16:24])


def desktop_entry(path):
    """The keys of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as entry:
        for line in entry:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif "=" in line and group == "[Desktop Entry]":
                key, value = line.split("=", 1)
                keys[key] = value
    return keys


def build_package(out):
    """The .deb built by CPack into out, or the error."""
    for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps"):
        if not shutil.which(tool):
            raise unittest.SkipTest(f"{tool} is not installed (scripts/setup installs it)")
    shutil.rmtree(out, ignore_errors=True)
    # Building what is out of date comes first and may take long on a busy machine.
    built = subprocess.run(["cpack", "--config", CPACK_CONFIG, "-G", "DEB", "-B", out], cwd=BUILD_DIR,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=5 * TIMEOUT)
    if built.returncode != 0:
        raise AssertionError(f"cpack failed:\n{built.stdout}")
    return found_package(out)


def found_package(out):
    debs = [f for f in os.listdir(out) if f.endswith(".deb")] if os.path.isdir(out) else []
    if len(debs) != 1:
        raise AssertionError(f"no package in {out}: the package_build test makes it")
    return os.path.join(out, debs[0])


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="sorvane-package-")
        try:
            cls.deb = found_package(PACKAGE_DIR) if PACKAGE_DIR else build_package(os.path.join(cls.work, "out"))
        except BaseException:
            shutil.rmtree(cls.work)
            raise
        cls.root = os.path.join(cls.work, "root")
        run("dpkg-deb", "-x", cls.deb, cls.root)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, "usr", *parts)

    def test_the_program_menu_entry_icons_and_metadata_are_installed_where_the_desktop_looks(self):
        desktop = self.path("share", "applications", f"{ID}.desktop")
        svg = self.path("share", "icons", "hicolor", "scalable", "apps", f"{ID}.svg")
        png = self.path("share", "icons", "hicolor", "48x48", "apps", f"{ID}.png")
        metainfo = self.path("share", "metainfo", f"{ID}.metainfo.xml")
        for wanted in (self.path("bin", "sorvane"), desktop, svg, png, metainfo,
                       self.path("share", "doc", "sorvane", "copyright"),
                       self.path("share", "doc", "sorvane", "changelog.gz"),
                       self.path("share", "man", "man1", "sorvane.1.gz")):
            self.assertTrue(os.path.isfile(wanted), f"{wanted} is in the package")
        self.assertTrue(os.access(self.path("bin", "sorvane"), os.X_OK))
        self.assertEqual(png_size(png), (48, 48))

        self.assertEqual(desktop_entry(desktop)["Icon"], ID, "the icon's name is the installed files' name")
        with open(metainfo, encoding="utf-8") as text:
            self.assertIn(f"<launchable type=\"desktop-id\">{ID}.desktop</launchable>", text.read())

        for validator in (["desktop-file-validate", desktop], ["appstreamcli", "validate", "--no-net", metainfo]):
            if not shutil.which(validator[0]):
                self.fail(f"{validator[0]} is not installed (scripts/setup installs it)")
            checked = run(*validator, check=False)
            self.assertEqual(checked.returncode, 0, checked.stdout)
            self.assertNotIn("error", checked.stdout.lower(), checked.stdout)

    def test_apt_can_install_it_with_its_libraries_and_recommends(self):
        """Depends computed from the binary, and every package named in Depends and Recommends
        exists: one misspelt name makes the package uninstallable."""
        depends = run("dpkg-deb", "-f", self.deb, "Depends").stdout
        for library in ("libqt6widgets6", "libqt6network6", "libqt6dbus6", "libc6"):
            self.assertIn(library, depends, "computed from the binary")
        if not glob.glob("/var/lib/apt/lists/*_Packages*"):
            self.skipTest("apt has no package lists to resolve them against (apt-get update)")
        simulated = run("apt-get", "install", "--simulate", "--install-recommends", "-o", "Debug::NoLocking=1",
                        self.deb, check=False)
        self.assertEqual(simulated.returncode, 0, simulated.stdout)
        recommends = run("dpkg-deb", "-f", self.deb, "Recommends").stdout
        for package in (name.strip() for name in recommends.split(",")):
            installed = run("dpkg-query", "-W", "-f=${Status}", package, check=False).stdout
            self.assertTrue("install ok installed" in installed or f"Inst {package} " in simulated.stdout,
                            f"apt would install the recommended {package}")

    def test_lintian_reports_no_errors(self):
        if not shutil.which("lintian"):
            self.fail("lintian is not installed (scripts/setup installs it)")
        checked = run("lintian", "--fail-on", "error", self.deb, check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout)
        print(checked.stdout.strip() or "lintian: nothing to report", flush=True)

    def test_the_unpacked_program_runs_on_a_folder_and_takes_a_second_starts_folder(self):
        program = self.path("bin", "sorvane")
        dynamic = run("readelf", "-d", program).stdout
        self.assertNotIn(os.path.abspath(BUILD_DIR), dynamic, "no path into the build folder")
        self.assertNotIn("not found", run("ldd", program).stdout)

        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        folder = os.path.join(self.work, "起点")
        os.mkdir(folder)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({"QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": runtime,
                    "HOME": self.work, "XDG_CONFIG_HOME": os.path.join(self.work, "config")})
        first = subprocess.Popen([program, folder], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        try:
            socket = os.path.join(runtime, "sorvane.socket")
            deadline = time.monotonic() + TIMEOUT
            while not os.path.exists(socket) and first.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
            if first.poll() is not None:
                self.fail(f"the program ended at start-up: {first.communicate()[0]}")
            self.assertTrue(os.path.exists(socket), "the running program listens beside its lock")

            started = time.monotonic()
            second = run(program, folder, env=env, check=False)
            self.assertEqual(second.returncode, 0, second.stdout)
            print(f"the second start ended after {time.monotonic() - started:.2f} s", flush=True)
            self.assertIsNone(first.poll(), "the first goes on")
        finally:
            os.killpg(first.pid, signal.SIGTERM)
            first.communicate(timeout=TIMEOUT)
        self.assertEqual(os.listdir(os.path.join(self.work, "config")) if os.path.exists(
            os.path.join(self.work, "config")) else [], [], "a killed program wrote no settings")


def main():
    global CPACK_CONFIG, BUILD_DIR, PACKAGE_DIR
    if sys.argv[1:] == ["--list"]:
        return ctest_cases.print_case_names(sys.modules[__name__])
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpack-config", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--package-dir", default="")
    parser.add_argument("--build-package", default="")
    args, rest = parser.parse_known_args()
    CPACK_CONFIG, BUILD_DIR = os.path.abspath(args.cpack_config), os.path.abspath(args.build_dir)
    PACKAGE_DIR = os.path.abspath(args.package_dir) if args.package_dir else ""
    if args.build_package:
        try:
            print(build_package(os.path.abspath(args.build_package)), flush=True)
        except unittest.SkipTest as skip:
            print(f"skipped: {skip}", flush=True)
            return ctest_cases.SKIPPED
        return 0
    return ctest_cases.run(rest)


if __name__ == "__main__":
    sys.exit(main())
