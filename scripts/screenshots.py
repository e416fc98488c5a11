"""The pictures of README: what an administrator on a Russian Windows sees of
the real vexissetup.exe under Wine on a virtual display, each box cut out of
the screen: the confirmation question, the options dialog's welcome and options
views, a failure box naming its installer log, the window shown while another
installation holds Windows Installer, and the help. They are taken
anew by each run (into docs/, or --out), of the tree's build or of --exe, so
that two builds can be photographed and compared.

Wine runs in the Linux locale ru_RU.UTF-8 (scripts/screenshots generates it),
so that its buttons read "Да", "Нет", "ОК" and the system's interface language
is Russian (Russia), which presets "Русский" in the options dialog. The exe
runs from a distribution folder on the prefix's drive C:
(C:\\Дистрибутив\\vexissetup.exe, the package in its subfolder x64), with TMP and
TEMP at C:\\Windows\\Temp, so that no picture shows the build machine's folders.

Wine's own Marlett (the font of the close box's cross) comes with Debian's
fonts-wine in /usr/share/wine/fonts, where Debian's Wine 8 does not look (it
looks in /usr/share/fonts, and fontconfig does not list that folder): it is
copied into the prefix's C:\\windows\\Fonts, which Wine reads. Without it Wine
draws the letter "r" in place of the cross.

    scripts/screenshots [--exe EXE] [--out DIR]
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import plugin_packages  # noqa: E402
import wine_harness as wh  # noqa: E402

DIALOG_CAPTION = "CSPSetup"
CAPTION = "Норвикс ЭЦП Browser plug-in"
VIEW_SWITCH = 1015
LOCALE = "ru_RU.UTF-8"
DISTRIBUTION = "Дистрибутив"  # the folder on drive C: the exe runs from
WINDOWS_TEMP = r"C:\Windows\Temp"
MARLETT = "/usr/share/wine/fonts/marlett.ttf"  # Debian's fonts-wine


def russian_locale():
    """Makes every Wine process of the session start in the Linux locale ru_RU.UTF-8. Wine takes
    its language from LC_ALL and LANG even when the locale is not generated, but then finds no
    Cyrillic file name: starting C:\\Дистрибутив\\vexissetup.exe gives 2 (file not found)."""
    names = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if not any(name.lower().replace("-", "") == "ru_ru.utf8" for name in names):
        raise SystemExit("screenshots: the Linux locale %s is missing; scripts/screenshots generates it" % LOCALE)
    os.environ["LANG"] = LOCALE
    os.environ["LC_ALL"] = LOCALE


def distribution(session, exe):
    """Lays out the distribution folder on the prefix's drive C: the exe, and a plug-in package
    that cannot install in its subfolder x64. Returns the folder's Windows path."""
    folder = os.path.join(session.prefix, "drive_c", DISTRIBUTION)
    shutil.rmtree(folder, ignore_errors=True)  # left by an interrupted run
    os.makedirs(folder)
    shutil.copy(exe, os.path.join(folder, "vexissetup.exe"))
    family = plugin_packages.Family("pictures-%d" % int(time.time()))
    plugin_packages.build_package(os.path.join(folder, "x64", "vexiscom-x64.msi"), family, "2.0.1", fail=True)
    return "C:\\" + DISTRIBUTION


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="the vexissetup.exe to photograph (default: the tree's build)")
    parser.add_argument("--out", default=os.path.join(ROOT, "docs"), help="where the pictures go")
    options = parser.parse_args()
    legs, why = wh.plan(os.path.join(ROOT, "build", "windows"), os.path.join(ROOT, "build", "windows-x64"),
                        os.path.join(ROOT, "build", "screenshots", "prefix"), options.out)
    leg = legs[0]
    print("screenshots: %s: %s" % (options.exe or leg.describe(), why))
    russian_locale()
    os.makedirs(options.out, exist_ok=True)
    session = leg.session(screenshot_dir=options.out).start()
    if not os.path.isfile(MARLETT):
        raise SystemExit("screenshots: %s is missing: install fonts-wine (scripts/deps does)" % MARLETT)
    fonts = os.path.join(session.prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    shutil.copy(MARLETT, fonts)
    # The logs the runs leave in the prefix's C:\Windows\Temp go again at the end.
    temp = os.path.join(session.prefix, "drive_c", "windows", "temp")
    before = set(os.listdir(temp)) if os.path.isdir(temp) else set()
    env = {"TMP": WINDOWS_TEMP, "TEMP": WINDOWS_TEMP}

    def picture(name, box):
        session.screenshot(name, rect=box.rect)
        print("  %s.png: %s; %s" % (name, box.caption, ", ".join(text.replace("&", "") for _, text in box.buttons)))

    try:
        dist = distribution(session, os.path.abspath(options.exe or os.path.join(leg.build_dir, "vexissetup.exe")))
        exe = dist + "\\vexissetup.exe"

        # The confirmation question: answered No.
        session.reset()
        run = session.run(exe, [], env=env, cwd=dist)
        box = run.wait_box()
        if dict(box.buttons).get(wh.IDYES) != "&Да":
            raise wh.HarnessError("Wine's buttons are not Russian (%r): is %s in effect?" % (box.buttons, LOCALE))
        picture("confirmation", box)
        run.press(wh.IDNO)
        run.wait_exit()

        # The options dialog, both views, then cancelled.
        session.reset()
        run = session.run(exe, ["-csp", "-selectDlg"], env=env, cwd=dist)
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

        # The package that cannot install: the failure box with its installer log.
        session.reset()
        run = session.run(exe, ["-VexisArgs", "/qn"], env=env, cwd=dist)
        run.wait_box()
        run.press(wh.IDYES)
        picture("failure", run.wait_box())
        run.press(wh.IDOK)
        run.wait_exit()

        # The waiting window, while another installation (mutex_holder.exe) holds Windows
        # Installer; then cancelled.
        session.reset()
        holder = session.run(session.exe("mutex_holder.exe"), ["60000"])
        holder.wait_line("held ")
        run = session.run(exe, [], env=env, cwd=dist)
        run.wait_box()
        run.press(wh.IDYES)
        picture("waiting", run.wait_box(caption=CAPTION))
        run.press(wh.IDCANCEL)
        run.wait_exit()

        # The help.
        session.reset()
        run = session.run(exe, ["-csp", "-help"], env=env, cwd=dist)
        picture("help", run.wait_box())
        run.press(wh.IDOK)
        run.wait_exit()
    finally:
        session.stop()
        shutil.rmtree(os.path.join(session.prefix, "drive_c", DISTRIBUTION), ignore_errors=True)
        left = set(os.listdir(temp)) if os.path.isdir(temp) else set()
        for name in left - before:
            path = os.path.join(temp, name)
            if os.path.isfile(path):
                os.remove(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
