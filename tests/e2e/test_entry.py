"""The first steps of the real vexissetup.exe under Wine: the question without
arguments, the silent run and the help box.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_entry.py -v
"""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness as wh  # noqa: E402

PRODUCT = "Норвикс ЭЦП Browser plug-in"
QUESTION = "Установить Норвикс ЭЦП Browser plug-in?"
HELP_CAPTION = "Справка"
HELP_START = "Установщик Норвикс ЭЦП Browser plug-in.\n"


class EntryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = wh.session()

    def setUp(self):
        self.session.reset()
        # The launcher would hand the prefix's own TMP and TEMP over, not the Linux ones.
        self.temp = tempfile.mkdtemp(prefix="entry-", dir=os.path.dirname(self.session.prefix))
        windows_temp = wh.to_windows_path(self.temp)
        self.env = {"TMP": windows_temp, "TEMP": windows_temp}

    def start(self, *args):
        # The empty temporary folder is the current directory: no package can be found there.
        return self.session.run(self.session.exe("vexissetup.exe"), args, env=self.env, cwd=self.temp)

    def shot_name(self):
        return self.id().rsplit(".", 1)[-1]

    # Tests that without arguments the exe asks whether to install, and that No ends it with 0.
    def test_no_arguments_asks_and_no_ends_with_0(self):
        run = self.start()
        box = run.wait_box()
        run.screenshot(self.shot_name())
        self.assertEqual(box.caption, PRODUCT)
        self.assertEqual(box.text, QUESTION)
        self.assertTrue(box.message_box)
        self.assertEqual(box.button_ids, [wh.IDYES, wh.IDNO], box)
        run.press(wh.IDNO)
        self.assertEqual(run.wait_exit().code, 0)

    # Tests that a silent run shows no box at all until it ends, here with 232 for want of a package.
    def test_silent_shows_no_box(self):
        run = self.start("-silent")
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 232)

    def check_help(self, args, with_provider, code=0):
        run = self.start(*args)
        box = run.wait_box()
        run.screenshot(self.shot_name())
        self.assertEqual(box.caption, HELP_CAPTION, box)
        self.assertTrue(box.text.startswith(HELP_START), box)
        for option in ("  -cspargs", "  -selectDlg"):
            if with_provider:
                self.assertIn(option, box.text)
            else:
                self.assertNotIn(option, box.text)
        self.assertEqual(box.button_ids, [wh.IDOK], box)
        run.press(wh.IDOK)
        self.assertEqual(run.wait_exit().code, code)

    # Tests that -help shows the help without the provider options.
    def test_help(self):
        self.check_help(["-help"], with_provider=False)

    # Tests that -csp -help shows the help with the provider options.
    def test_csp_help(self):
        self.check_help(["-csp", "-help"], with_provider=True)

    # Tests that an unknown option (-Reinstall) shows the help and ends with 1639; -silent -? the
    # help, with 0.
    def test_unknown_option_shows_help(self):
        self.check_help(["-Reinstall"], with_provider=False, code=1639)
        self.check_help(["-silent", "-?"], with_provider=False)

    # Tests that -CSPArgs without its value shows the help with the provider options, then 1639.
    def test_cspargs_without_value_shows_help(self):
        self.check_help(["-csp", "-CSPArgs"], with_provider=True, code=1639)

    # Tests that a mistyped option with -silent shows nothing and ends with 1639, the run log naming it.
    def test_silent_mistyped_option(self):
        run = self.start("-silent", "-norestrat")
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 1639)
        logs = [name for name in os.listdir(self.temp) if name.startswith("vexissetup_")]
        with open(os.path.join(self.temp, logs[0]), encoding="utf-8-sig") as f:
            self.assertIn('command line: not understood: "-norestrat": unknown option', f.read())


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
