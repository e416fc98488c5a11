"""Provider installation by vexissetup.exe under Wine.

Each scenario builds a distribution tree whose csp\\Setup.exe and
ucsp\\Setup.exe are provider_stub.exe: the stub appends the command line it
received to a record file, writes the log that its /Lv! switch names and exits
with the code in exitcode.txt beside it. The tree holds no plug-in package
unless a scenario builds one, so the plug-in step after the providers fails
with 232; the scenarios use that to see that it came after them.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_providers.py -v
"""

import glob
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plugin_packages  # noqa: E402
import plugin_scenario  # noqa: E402
import wine_harness  # noqa: E402

CAPTION = "Норвикс ЭЦП Browser plug-in"
CONFIRM_BOTH = "Установить Норвикс ЭЦП Browser plug-in, CSP и УЭК CSP?"
CONFIRM_CSP = "Установить Норвикс ЭЦП Browser plug-in и CSP?"
CONFIRM_UCSP = "Установить Норвикс ЭЦП Browser plug-in и УЭК CSP?"
PROVIDER_FAILED = "В процессе установки Норвикс CSP возникла ошибка"
RESTART_CSP = ("Норвикс ЭЦП Browser plug-in и CSP успешно установлены.\nДля корректной работы Норвикс ЭЦП "
               "Browser plug-in и CSP необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?")
MARKER = r"HKCU\Software\NeedBstrReboot"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
NO_PACKAGE = 232

STAMP = re.compile(r"^(csp|ucsp)_\d{4}-\d\d-\d\d-\d\d-\d\d-\d\d\.log$")


class Tree:
    """A distribution folder with provider stand-ins, a TMP folder and a record file.

    Paths hold blanks and Cyrillic letters, as the administrators' do."""

    def __init__(self, session):
        self.session = session
        self.root = tempfile.mkdtemp(prefix="providers-", dir=os.path.dirname(session.prefix))
        self.dist = os.path.join(self.root, "Дистрибутив плагина")
        self.tmp = os.path.join(self.root, "Временные файлы")
        self.record = os.path.join(self.root, "record.txt")
        os.makedirs(self.dist)
        os.makedirs(self.tmp)

    def add_provider(self, folder, exit_code):
        os.makedirs(os.path.join(self.dist, folder))
        shutil.copy(self.session.exe("provider_stub.exe"), os.path.join(self.dist, folder, "Setup.exe"))
        with open(os.path.join(self.dist, folder, "exitcode.txt"), "w") as f:
            f.write("%d\n" % exit_code)

    def env(self):
        # The wine launcher gives TMP from the prefix's registry: set it in the
        # Windows environment of the run instead.
        return {"TMP": wine_harness.to_windows_path(self.tmp),
                "TEMP": wine_harness.to_windows_path(self.tmp),
                "PROVIDER_RECORD": wine_harness.to_windows_path(self.record)}

    def run(self, args):
        return self.session.run(self.session.exe("vexissetup.exe"), args, env=self.env(), cwd=self.dist)

    def recorded(self):
        """The command lines the stand-ins received, in the order they ran."""
        if not os.path.exists(self.record):
            return []
        with open(self.record, encoding="utf-8") as f:
            return f.read().splitlines()

    def log(self, folder):
        """The Windows path of the one log file named after folder that the stand-in wrote."""
        found = [os.path.basename(p) for p in glob.glob(os.path.join(self.tmp, folder + "_*.log"))]
        if len(found) != 1:
            raise AssertionError("expected one %s log in %s, found %r" % (folder, self.tmp, found))
        if not STAMP.match(found[0]):
            raise AssertionError("log name %r is not folder_YYYY-MM-DD-HH-MM-SS.log" % found[0])
        return wine_harness.to_windows_path(os.path.join(self.tmp, found[0]))

    def remove(self):
        if not os.environ.get("E2E_KEEP"):
            shutil.rmtree(self.root, ignore_errors=True)


def log_switch(path):
    return '/Lv! """%s""" ' % path


class ProviderInstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = wine_harness.session()

    def setUp(self):
        self.session.reset()
        self.tree = Tree(self.session)
        self.addCleanup(self.tree.remove)

    def confirm(self, run, question):
        box = run.wait_box()
        self.assertEqual((box.caption, box.text), (CAPTION, question))
        run.press(wine_harness.IDYES)

    def finish_plugin_step(self, run):
        """Answers the plug-in step's own boxes (it fails without a package) until the run ends."""
        texts = []
        while True:
            try:
                box = run.wait_box()
            except wine_harness.HarnessError:
                if run.running():
                    raise
                break  # the run ended
            texts.append(box.text)
            self.assertFalse(box.text.startswith(PROVIDER_FAILED), "a provider failure box: %s" % box)
            run.press(wine_harness.IDOK)
            if len(texts) > 5:
                self.fail("the plug-in step keeps showing boxes: %r" % texts)
        return texts, run.wait_exit()

    # Tests the exact Setup.exe command lines of a silent run with both
    # providers: the log switch and /qb added or left out by the extra text,
    # -noreboot, -silent and -reinstall, and csp before ucsp.
    def test_silent_command_lines(self):
        self.tree.add_provider("csp", 0)
        self.tree.add_provider("ucsp", 0)
        own_log = wine_harness.to_windows_path(os.path.join(self.tree.tmp, "мой журнал.log"))
        run = self.tree.run(["-silent", "-csp", "-CSPArgs", "/qn LANG=ru", "-ucsp",
                             "-UCSPArgs", "/L*v %s" % own_log, "-reinstall"])
        run.assert_no_box()
        result = run.wait_exit()

        self.assertEqual(self.tree.recorded(), [
            'csp\\Setup.exe -args "' + log_switch(self.tree.log("csp")) + '/qn LANG=ru " -noreboot -silent -reinstall',
            'ucsp\\Setup.exe -args "/qb /L*v ' + own_log + ' " -noreboot -silent -reinstall',
        ])
        # The user's own log switch: no log path was made for ucsp.
        self.assertEqual(glob.glob(os.path.join(self.tree.tmp, "ucsp_*.log")), [])
        # Both providers went on; the plug-in step then failed for want of a package.
        self.assertEqual(result.code, NO_PACKAGE)

    # Tests the interactive order csp, ucsp, plug-in, and that a cancelled
    # provider setup (1602) and the exit code 3 both let the run go on.
    def test_order_and_go_on_codes(self):
        self.tree.add_provider("csp", 1602)
        self.tree.add_provider("ucsp", 3)
        run = self.tree.run(["-csp", "-ucsp"])
        self.confirm(run, CONFIRM_BOTH)

        # The first box after the confirmation is the plug-in step's: by then
        # both providers have run, in this order, without -silent.
        box = run.wait_box()
        self.assertEqual(self.tree.recorded(), [
            'csp\\Setup.exe -args "/qb ' + log_switch(self.tree.log("csp")) + '" -noreboot',
            'ucsp\\Setup.exe -args "/qb ' + log_switch(self.tree.log("ucsp")) + '" -noreboot',
        ])
        self.assertFalse(box.text.startswith(PROVIDER_FAILED), "a provider failure box: %s" % box)
        texts, result = self.finish_plugin_step(run)
        self.assertEqual(result.code, NO_PACKAGE, "plug-in boxes: %r" % texts)

    # Tests that a failing csp setup stops the run: message 105 with the code
    # and its log under an empty caption, exit code 1603, ucsp never started.
    def test_failure_stops_the_run(self):
        self.tree.add_provider("csp", 1603)
        self.tree.add_provider("ucsp", 0)
        run = self.tree.run(["-csp", "-ucsp"])
        self.confirm(run, CONFIRM_BOTH)

        box = run.wait_box()
        run.screenshot("provider-failure-1603")
        self.assertEqual(box.caption, "")
        self.assertEqual(box.text, PROVIDER_FAILED + ": 1603.\nInstall log: " + self.tree.log("csp"))
        self.assertEqual(box.button_ids, [wine_harness.IDOK])
        run.press(wine_harness.IDOK)

        self.assertEqual(run.wait_exit().code, 1603)
        self.assertEqual(len(self.tree.recorded()), 1)
        self.assertTrue(self.tree.recorded()[0].startswith("csp\\Setup.exe "))

    # Tests that a silent failing run shows no box, passes -silent to the
    # setup and exits with the setup's code.
    def test_silent_failure(self):
        self.tree.add_provider("csp", 1603)
        run = self.tree.run(["-silent", "-csp"])
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 1603)
        self.assertEqual(self.tree.recorded(), [
            'csp\\Setup.exe -args "/qb ' + log_switch(self.tree.log("csp")) + '" -noreboot -silent'])

    # Tests the run log of a run that stops early: a new file in TMP (a
    # Cyrillic folder) with the UTF-8 byte-order mark, the first line, the
    # provider's command line with the secret masked, and the exit line last.
    def test_run_log(self):
        self.tree.add_provider("csp", 1603)
        run = self.tree.run(["-silent", "-csp", "-CSPArgs", "PIN=4321 /qn"])
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 1603)

        logs = glob.glob(os.path.join(self.tree.tmp, "vexissetup_*.log"))
        self.assertEqual(len(logs), 1, logs)
        self.assertRegex(os.path.basename(logs[0]), r"^vexissetup_\d{4}(-\d\d){5}\.log$")
        with open(logs[0], "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), data[:40])
        self.assertNotIn(b"4321", data)
        lines = data[3:].decode("utf-8").split("\r\n")
        self.assertEqual(lines[-1], "", "the last line ends with CR LF")
        self.assertRegex(lines[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d local time, "
                                   r"file version 2\.0\.0\.0, .*\\vexissetup\.exe$")
        events = [re.sub(r"^ *\d+ ", "", line) for line in lines[1:-1]]
        self.assertIn('csp: started csp\\Setup.exe -args "' + log_switch(self.tree.log("csp")) +
                      'PIN=****** /qn " -noreboot -silent', events)
        self.assertRegex(events[-1], r"^exit code 1603: ")

    # Tests that a provider's setup never writes its log through a name planted in TMP: the
    # links planted under its next log names stay as they were, so does the file they point to,
    # and the setup is handed the next free name.
    def test_planted_log_names_are_left_alone(self):
        self.tree.add_provider("csp", 1603)
        victim = os.path.join(self.tree.root, "victim.txt")
        with open(victim, "w") as f:
            f.write("nobody may write here\n")
        links = plugin_scenario.plant_log_names(self.tree.tmp, ["csp"], victim)
        run = self.tree.run(["-silent", "-csp"])
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 1603)
        with open(victim) as f:
            self.assertEqual(f.read(), "nobody may write here\n")
        self.assertTrue(all(os.path.islink(link) for link in links))
        made = [log for log in glob.glob(os.path.join(self.tree.tmp, "csp_*.log")) if not os.path.islink(log)]
        self.assertEqual(len(made), 1, os.listdir(self.tree.tmp))
        self.assertRegex(made[0], plugin_scenario.RANDOM_LOG_NAME)
        self.assertIn(log_switch(wine_harness.to_windows_path(made[0])), self.tree.recorded()[0])

    # Tests that the ucsp provider's failure reads like the csp one's, and
    # that 1641 (the provider started a restart itself) stops the run.
    def test_ucsp_restart_started_is_a_failure(self):
        self.tree.add_provider("ucsp", 1641)
        run = self.tree.run(["-ucsp"])
        self.confirm(run, CONFIRM_UCSP)

        box = run.wait_box()
        self.assertEqual(box.caption, "")
        self.assertEqual(box.text, PROVIDER_FAILED + ": 1641.\nInstall log: " + self.tree.log("ucsp"))
        run.press(wine_harness.IDOK)
        self.assertEqual(run.wait_exit().code, 1641)

    # Tests that a provider that installed and asks for a restart (3010) lets
    # the run go on: the plug-in is installed, then the restart question of
    # the CSP variant; No ends the run with 0 and leaves no marker.
    def test_csp_restart_required_goes_on(self):
        self.session.reg_delete(MARKER)
        self.tree.add_provider("csp", 3010)
        family = plugin_packages.Family("provider-restart-" + os.path.basename(self.tree.root))
        code = plugin_packages.build_package(os.path.join(self.tree.dist, "x64", "vexiscom-x64.msi"), family,
                                             "2.0.1")
        run = self.tree.run(["-csp"])
        self.confirm(run, CONFIRM_CSP)

        box = run.wait_box()
        run.screenshot("provider-restart-question")
        self.assertEqual((box.caption, box.text), (CAPTION, RESTART_CSP))
        self.assertEqual(box.button_ids, [wine_harness.IDYES, wine_harness.IDNO])
        run.press(wine_harness.IDNO)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertIsNone(self.session.reg_query(MARKER))
        self.assertEqual(self.session.reg_query(UNINSTALL + "\\" + code, "DisplayVersion", view=64),
                         ("REG_SZ", "2.0.1"))
        self.assertEqual(len(self.tree.recorded()), 1)

    # Tests that a missing csp folder stops the run with the start failure
    # code; the box names no log, and the empty one made for the setup is gone.
    def test_missing_setup_stops_the_run(self):
        run = self.tree.run(["-csp"])
        self.confirm(run, CONFIRM_CSP)

        box = run.wait_box()
        run.screenshot("provider-missing")
        match = re.match("^" + re.escape(PROVIDER_FAILED) + r": (\d+)\.\n$", box.text)
        self.assertIsNotNone(match, box)
        self.assertEqual(glob.glob(os.path.join(self.tree.tmp, "csp_*.log")), [])
        run.press(wine_harness.IDOK)
        code = int(match.group(1))
        self.assertIn(code, (2, 3))  # file or path not found
        self.assertEqual(run.wait_exit().code, code)
        self.assertEqual(self.tree.recorded(), [])


if __name__ == "__main__":
    wine_harness.main("vexissetup.exe", "runexit.exe", "boxhelper.exe", "provider_stub.exe")
