"""The pictures of README: what an administrator sees of the real
vexissetup.exe under Wine on a virtual display, each box cut out of the
screen: the confirmation question, the options dialog's welcome and options
views, a failure box naming its installer log, and the help. They are taken
anew by each run (into docs/, or --out), of the tree's build or of --exe, so
that two builds can be photographed and compared.

    scripts/screenshots [--exe EXE] [--out DIR]
"""

import argparse
import os
import shutil
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import plugin_packages  # noqa: E402
import wine_harness as wh  # noqa: E402

DIALOG_CAPTION = "CSPSetup"
VIEW_SWITCH = 1015


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="the vexissetup.exe to photograph (default: the tree's build)")
    parser.add_argument("--out", default=os.path.join(ROOT, "docs"), help="where the pictures go")
    options = parser.parse_args()
    legs, why = wh.plan(os.path.join(ROOT, "build", "windows"), os.path.join(ROOT, "build", "windows-x64"),
                        os.path.join(ROOT, "build", "screenshots", "prefix"), options.out)
    leg = legs[0]
    print("screenshots: %s: %s" % (options.exe or leg.describe(), why))
    # A fixed folder: the failure box names a log in it, so that only its time stamp differs from
    # one run to the next.
    work = os.path.join(ROOT, "build", "pictures")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    exe = os.path.join(work, "vexissetup.exe")
    shutil.copy(options.exe or os.path.join(leg.build_dir, "vexissetup.exe"), exe)
    os.makedirs(options.out, exist_ok=True)
    session = leg.session(screenshot_dir=options.out).start()
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    env = {"TMP": wh.to_windows_path(temp), "TEMP": wh.to_windows_path(temp)}

    def picture(name, box):
        session.screenshot(name, rect=box.rect)
        print("  %s.png: %s" % (name, box.caption))

    try:
        # The confirmation question, in a tree with nothing to install: answered No.
        session.reset()
        run = session.run(exe, [], env=env, cwd=temp)
        picture("confirmation", run.wait_box())
        run.press(wh.IDNO)
        run.wait_exit()

        # The options dialog, both views, then cancelled.
        session.reset()
        run = session.run(exe, ["-csp", "-selectDlg"], env=env, cwd=temp)
        run.wait_box()
        run.press(wh.IDYES)
        picture("options-welcome", run.wait_box(caption=DIALOG_CAPTION))
        run.press(VIEW_SWITCH, caption=DIALOG_CAPTION, wait_close=False)
        deadline = time.monotonic() + wh.DEFAULT_TIMEOUT
        while True:
            box = run.wait_box(caption=DIALOG_CAPTION)
            if box.control(VIEW_SWITCH)["text"] == "Скрыть" or time.monotonic() > deadline:
                break
        picture("options-view", box)
        run.press(wh.IDCANCEL, caption=DIALOG_CAPTION)
        run.wait_exit()

        # A package that cannot install: the failure box with its installer log.
        session.reset()
        dist = os.path.join(work, "dist")
        family = plugin_packages.Family("pictures-%d" % int(time.time()))
        plugin_packages.build_package(os.path.join(dist, "x64", "vexiscom-x64.msi"), family, "2.0.1", fail=True)
        run = session.run(exe, ["-VexisArgs", "/qn"], env=env, cwd=dist)
        run.wait_box()
        run.press(wh.IDYES)
        picture("failure", run.wait_box())
        run.press(wh.IDOK)
        run.wait_exit()

        # The help.
        session.reset()
        run = session.run(exe, ["-csp", "-help"], env=env, cwd=temp)
        picture("help", run.wait_box())
        run.press(wh.IDOK)
        run.wait_exit()
    finally:
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
