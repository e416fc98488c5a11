"""A busy Windows Installer under Wine: vexissetup.exe waits for another
installation instead of failing on it. Wine's msiexec never takes Windows
Installer's mutex Global\\_MSIExecute, so mutex_holder.exe owns it for a
while, standing in for another installation.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_busy.py -v
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plugin_packages as pp  # noqa: E402
import plugin_scenario as ps  # noqa: E402
import wine_harness as wh  # noqa: E402

CAPTION = "Норвикс ЭЦП Browser plug-in"
CONFIRM = "Установить Норвикс ЭЦП Browser plug-in?"
WAITING = ("Сейчас выполняется установка другой программы.\nУстановка Норвикс ЭЦП Browser plug-in "
           "продолжится автоматически, когда она завершится.")
BROWSER_NOTICE = ("Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс ЭЦП "
                  "Browser plug-in может потребоваться перезапустить браузер.")
WAITING_DIALOG_TEXT = 1020
RUN_MUTEX = "Global\\NorvixVexisSetup"


class BusyInstallerTest(ps.PluginScenario):
    scratch_prefix = "busy-"

    def hold(self, milliseconds, watch=None, name=None, until=None):
        """Starts another installation that holds Windows Installer (or the mutex named) for
        milliseconds, or until the file until exists; returns it once it holds the mutex."""
        holder = self.session.run(self.session.exe("mutex_holder.exe"),
                                  (["--name", name] if name else []) +
                                  (["--until", wh.to_windows_path(until)] if until else []) +
                                  [str(milliseconds)] + ([watch] if watch else []))
        holder.wait_line("held ")
        return holder

    def package(self, version):
        return pp.build_package(os.path.join(self.dist, "x64", "vexiscom-x64.msi"), self.family, version)

    # Tests that a silent run waits for another installation (5 s) and then installs: exit 0, the
    # run log shows a wait of about 5 s, and msiexec started after the release.
    def test_silent_run_waits_then_installs(self):
        code = self.package("2.0.1")
        holder = self.hold(5000, "msiexec.exe")
        run = self.start("-silent", "-VexisArgs", "/qn")
        self.assertEqual(run.wait_exit(timeout=120).code, 0)
        self.assertEqual(self.installed_version(code), "2.0.1")
        lines = holder.wait_exit().stdout
        started = [line for line in lines if line.startswith("started msiexec.exe ")]
        self.assertEqual(len(started), 1, lines)
        log = self.run_log()
        self.assert_logged(log, "msiexec: Windows Installer is busy with another installation; waiting",
                           "msiexec: Windows Installer is free after", "msiexec: started",
                           "exit code 0: done")
        waited = next(line for line in log if line.startswith("msiexec: Windows Installer is free after"))
        self.assertGreaterEqual(int(waited.split()[6]), 4000, waited)

    # Tests that with -wait 2 and another installation that runs on, the run ends with 1618 after
    # about 2 s and nothing is started: no provider, no msiexec.
    def test_bound_runs_out(self):
        code = self.package("2.0.2")
        setup = os.path.join(self.dist, "csp", "Setup.exe")
        os.makedirs(os.path.dirname(setup))
        shutil.copy(self.session.exe("provider_stub.exe"), setup)
        record = os.path.join(self.root, "record.txt")
        holder = self.hold(20000)
        started = time.monotonic()
        run = self.session.run(self.session.exe("vexissetup.exe"), ["-silent", "-csp", "-wait", "2"],
                               cwd=self.dist, env={"TMP": wh.to_windows_path(self.temp),
                                                   "PROVIDER_RECORD": wh.to_windows_path(record)})
        self.assertEqual(run.wait_exit().code, 1618)
        self.assertLess(time.monotonic() - started, 15)
        self.assertFalse(os.path.exists(record), "a provider was started")
        self.assertIsNone(self.installed_version(code))
        self.assert_logged(self.run_log(), "csp: Windows Installer is busy with another installation; "
                           "waiting for it to end, at most 2 s", "csp: another installation was still running",
                           "exit code 1618: ")
        self.assertTrue(holder.running())

    # Tests that a provider's Setup.exe starts only once Windows Installer is free again.
    def test_provider_starts_after_the_release(self):
        self.package("2.0.3")
        setup = os.path.join(self.dist, "csp", "Setup.exe")
        os.makedirs(os.path.dirname(setup))
        shutil.copy(self.session.exe("provider_stub.exe"), setup)
        state = os.path.join(self.root, "state.txt")
        self.hold(3000)
        run = self.session.run(self.session.exe("vexissetup.exe"), ["-silent", "-csp", "-VexisArgs", "/qn"],
                               cwd=self.dist, env={"TMP": wh.to_windows_path(self.temp),
                                                   "PROVIDER_RECORD": wh.to_windows_path(
                                                       os.path.join(self.root, "record.txt")),
                                                   "PROVIDER_INSTALLER_STATE": wh.to_windows_path(state)})
        self.assertEqual(run.wait_exit(timeout=120).code, 0)
        with open(state) as f:
            self.assertEqual(f.read().split(), ["free"])
        self.assert_logged(self.run_log(), "csp: Windows Installer is busy", "csp: Windows Installer is free after",
                           "csp: started", "msiexec: started", "exit code 0: done")

    # Tests two silent runs started together on one tree, three times: each pair starts msiexec
    # once; the second run waits for the first and then finds the same version installed.
    def test_two_runs_at_once(self):
        def run_logs(temp):
            found = []
            for name in sorted(os.listdir(temp)):
                if name.startswith("vexissetup_"):
                    with open(os.path.join(temp, name), encoding="utf-8-sig") as f:
                        found.append([line.lstrip().split(" ", 1)[1] for line in f.read().splitlines()[1:]])
            return found

        for pair in range(3):
            temp = os.path.join(self.root, "temp%d" % pair)
            os.makedirs(temp)
            code = self.package("2.0.%d" % (10 + pair))
            # Windows Installer is busy until both runs are seen waiting: the first run for it, the
            # second for the first run, however slowly this machine starts them.
            release = os.path.join(self.root, "release%d" % pair)
            self.hold(120000, until=release)
            runs = [self.start("-silent", "-VexisArgs", "/qn", temp=temp) for _ in range(2)]
            deadline = time.monotonic() + 60
            while len(run_logs(temp)) < 2 or not all(
                    any(line.startswith(("msiexec: Windows Installer is busy", "one run at a time: another"))
                        for line in log) for log in run_logs(temp)):
                self.assertLess(time.monotonic(), deadline, run_logs(temp))
                time.sleep(0.05)
            open(release, "w").close()
            self.assertEqual([run.wait_exit(timeout=120).code for run in runs], [0, 0])
            self.assertEqual(self.installed_version(code), "2.0.%d" % (10 + pair))
            logs = run_logs(temp)
            self.assertEqual(sum(line.startswith("msiexec: started") for log in logs for line in log), 1, logs)
            second = [log for log in logs if any(line.startswith("one run at a time: another setup") for line in log)]
            self.assertEqual(len(second), 1, logs)
            self.assert_logged(second[0], "one run at a time: the other setup ended after", "administrator: yes",
                               "decision: the same version is installed", "exit code 0: ")

    # Tests that with another setup of the plug-in running on, -silent -wait 3 ends with 1618 after
    # about 3 s, with nothing examined or started.
    def test_another_setup_runs_on(self):
        code = self.package("2.0.5")
        holder = self.hold(30000, name=RUN_MUTEX)
        started = time.monotonic()
        run = self.start("-silent", "-wait", "3")
        self.assertEqual(run.wait_exit(timeout=60).code, 1618)
        self.assertGreaterEqual(time.monotonic() - started, 3)
        self.assertLess(time.monotonic() - started, 15)
        self.assertIsNone(self.installed_version(code))
        log = self.run_log()
        self.assert_logged(log, "one run at a time: another setup of the plug-in is running; waiting for it to "
                           "end, at most 3 s", "one run at a time: the other setup was still running after",
                           "exit code 1618: ")
        self.assertFalse([line for line in log if line.startswith(("administrator", "msiexec"))], log)
        self.assertTrue(holder.running())

    # Tests an interactive run under a busy Windows Installer: after the confirmation the waiting
    # window (the product's caption, message 154, a Cancel button) stays until Cancel, which ends
    # the run with 1602 and nothing installed.
    def test_waiting_window_and_cancel(self):
        code = self.package("2.0.4")
        self.hold(60000)
        run = self.start()
        box = run.wait_box()
        self.assertEqual((box.caption, box.text), (CAPTION, CONFIRM))
        run.press(wh.IDYES)
        window = run.wait_box(caption=CAPTION)
        run.screenshot("busy_waiting_window", window)
        self.assertEqual(window.control(WAITING_DIALOG_TEXT)["text"], WAITING)
        self.assertEqual(window.button_ids, [wh.IDCANCEL])
        run.press(wh.IDCANCEL)
        self.assertEqual(run.wait_exit().code, 1602)
        self.assertIsNone(self.installed_version(code))
        self.assert_logged(self.run_log(), "msiexec: the wait was cancelled after",
                           "exit code 1602: ")


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe", "provider_stub.exe", "mutex_holder.exe")
