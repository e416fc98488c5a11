"""The demo: a distribution tree with sample plug-in packages for x64 and
win32 under a Cyrillic folder name, vexissetup.exe -silent run in it under
Wine, and what came of it: the exit code, the installed product and version,
the installer's log, and the bootstrapper's own run log.

The exe run is the i686 one (the file shipped for every Windows) where this
machine runs 32-bit programs, else the x64 one under wine64, each in a prefix
of its own; E2E_BUILD=i686 or x64 chooses (see tests/e2e/wine_harness.py)."""

import glob
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import plugin_packages  # noqa: E402
import wine_harness  # noqa: E402

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
RUN_LOG_TAIL = 12  # lines of the run log shown


def main():
    demo = os.path.join(ROOT, "build", "demo")
    try:
        legs, why = wine_harness.plan(os.path.join(ROOT, "build", "windows"), os.path.join(ROOT, "build", "windows-x64"),
                                      os.path.join(demo, "prefix"), os.path.join(demo, "screenshots"))
    except wine_harness.HarnessError as error:
        print("demo: %s" % error)
        return 1
    leg = legs[0]
    print("demo: runs %s: %s" % (leg.describe(), why))
    dist = os.path.join(demo, "Дистрибутив плагина")
    temp = os.path.join(demo, "Temp")
    os.makedirs(temp, exist_ok=True)
    # A fresh product family each run, so every demo is a first installation.
    family = plugin_packages.Family("demo-%d" % int(time.time()))
    version = "2.0.10000"
    code = plugin_packages.build_package(os.path.join(dist, "x64", "vexiscom-x64.msi"), family, version)
    plugin_packages.build_package(os.path.join(dist, "win32", "vexiscom-win32.msi"), family, version,
                                  arch="x86")
    print("Distribution tree: %s" % dist)
    for path in sorted(glob.glob(os.path.join(dist, "*", "*.msi"))):
        print("  %s" % os.path.relpath(path, dist))

    session = leg.session()
    print("Starting Wine (the first run creates the prefix, about 20 s)...")
    session.start()
    try:
        session.reset()
        print("Running: vexissetup.exe -silent   (current directory: the distribution tree)")
        run = session.run(session.exe("vexissetup.exe"), ["-silent"], cwd=dist,
                          env={"TMP": wine_harness.to_windows_path(temp)})
        result = run.wait_exit(timeout=300)
        print("Exit code: %d" % result.code)
        values = session.reg_query(UNINSTALL + "\\" + code, view=64) or {}
        name = values.get("DisplayName", (None, None))[1]
        shown = values.get("DisplayVersion", (None, None))[1]
        if name:
            print("Installed: %s %s  (product code %s)" % (name, shown, code))
        else:
            print("Not installed: product %s is not registered" % code)
        logs = sorted(glob.glob(os.path.join(temp, "vexiscom-x64.msi_*.log")), key=os.path.getmtime)
        if logs:
            print("Installer log: %s (%d bytes)" % (logs[-1], os.path.getsize(logs[-1])))
        else:
            print("No installer log was written")
        show_run_log(temp)
        return 0 if result.code == 0 and name and shown == version else 1
    finally:
        session.stop()


def show_run_log(temp):
    """Prints the path of the newest run log in temp and its last lines."""
    logs = sorted(glob.glob(os.path.join(temp, "vexissetup_*.log")), key=os.path.getmtime)
    if not logs:
        print("No run log was written")
        return
    with open(logs[-1], encoding="utf-8-sig") as f:
        lines = f.read().splitlines()
    print("Run log: %s (%d lines); the last %d:" % (logs[-1], len(lines), min(RUN_LOG_TAIL, len(lines))))
    for line in lines[-RUN_LOG_TAIL:]:
        print("  " + line)


if __name__ == "__main__":
    sys.exit(main())
