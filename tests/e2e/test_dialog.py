"""The CSP provider's options dialog of the real vexissetup.exe under Wine.

Every scenario starts `vexissetup.exe -csp -selectDlg -CSPArgs ...` in a
tree whose csp\\Setup.exe is the provider stand-in (provider_stub.exe): it
records its command line and exits with 1603, so a run that gets past the
dialog ends at the provider's failure box 105 with exit code 1603, and a
cancelled run leaves no record at all.

Run by ctest (ctest -L e2e -R dialog), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=/tmp/prefix python3 tests/e2e/test_dialog.py -v
"""

import contextlib
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness as wh  # noqa: E402

CAPTION = "CSPSetup"
NEXT, CANCEL, RUSSIAN, ENGLISH, KC1, KC2, KC3 = 140, 2, 1006, 1007, 1008, 1009, 1010
BANNER, LANGUAGE_FRAME, LEVEL_FRAME, WELCOME_TEXT, VIEW_SWITCH = 1011, 1012, 1013, 1014, 1015
OPTIONS_VIEW = (RUSSIAN, ENGLISH, KC1, KC2, KC3, LANGUAGE_FRAME, LEVEL_FRAME)
WELCOME_VIEW = (BANNER, WELCOME_TEXT)
RADIOS = (RUSSIAN, ENGLISH, KC1, KC2, KC3)

CONFIRM_CSP = "Установить Норвикс ЭЦП Browser plug-in и CSP?"
PLUGIN_CAPTION = "Норвикс ЭЦП Browser plug-in"
PROVIDER_FAILED = "В процессе установки Норвикс CSP возникла ошибка"
PROVIDER_EXIT = 1603
CSP_ARGS = "LANG=de"  # what the provider gets; the dialog's choice does not reach it

WELCOME = ("https://www.norvix.example\n"
           "\n"
           "Благодарим за выбор Норвикс CSP.\n"
           "Для продолжения установки нажимте \"Далее\",\n"
           "для установки специфических настроек - \"Опции\".\n"
           "Если вы не знаете, что выбирать, нажмите \"Далее\".")

# The controls in template order: id, class, text, starts visible.
TEMPLATE = [
    (NEXT, "Button", "Далее", True),
    (CANCEL, "Button", "Отмена", True),
    (RUSSIAN, "Button", "Русский", False),
    (ENGLISH, "Button", "English", False),
    (KC1, "Button", "KC1", False),
    (KC2, "Button", "KC2", False),
    (KC3, "Button", "KC3", False),
    (LANGUAGE_FRAME, "Button", "Язык установки:", False),
    (LEVEL_FRAME, "Button", "Уровень безопасности:", False),
    (BANNER, "Button", "Норвикс CSP", True),
    (VIEW_SWITCH, "Button", "Опции", True),
    (WELCOME_TEXT, "Static", WELCOME, True),
]

# Dialog units of the radio buttons in the template: x, y, width, height.
RADIO_UNITS = {RUSSIAN: (12, 20, 42, 8), ENGLISH: (12, 32, 42, 8), KC1: (14, 69, 30, 8),
               KC2: (14, 82, 30, 8), KC3: (14, 94, 30, 8)}
DIALOG_UNITS = (204, 143)
# Wine's frame of a modal dialog and its caption bar, in pixels (measured).
FRAME, CAPTION_BAR = 3, 19


@contextlib.contextmanager
def linux_locale(name):
    """Runs the block with the Linux locale that Wine takes the system's UI language from."""
    saved = {k: os.environ.get(k) for k in ("LC_ALL", "LANG", "LC_MESSAGES")}
    for key in saved:
        os.environ[key] = name
    try:
        yield
    finally:
        for key, value in saved.items():
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value


class DialogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = wh.session()
        cls.work = tempfile.mkdtemp(prefix="dialog-", dir=os.path.dirname(cls.session.prefix))

    @classmethod
    def tearDownClass(cls):
        cls.session.reset()  # no stray process keeps a file of the trees open
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.session.reset()
        self.tree = tempfile.mkdtemp(prefix="tree-", dir=self.work)
        os.makedirs(os.path.join(self.tree, "csp"))
        shutil.copy(self.session.exe("provider_stub.exe"), os.path.join(self.tree, "csp", "Setup.exe"))
        with open(os.path.join(self.tree, "csp", "exitcode.txt"), "w") as f:
            f.write(str(PROVIDER_EXIT))
        self.record = os.path.join(self.tree, "record.txt")

    # ----- steps -----

    def start(self, locale="en_US.UTF-8"):
        """Starts the run, answers the confirmation 102 with Yes and returns (run, dialog)."""
        with linux_locale(locale):
            run = self.session.run(self.session.exe("vexissetup.exe"), ["-csp", "-selectDlg", "-CSPArgs", CSP_ARGS],
                                   cwd=self.tree,
                                   env={"PROVIDER_RECORD": wh.to_windows_path(self.record),
                                        "TMP": wh.to_windows_path(self.tree), "TEMP": wh.to_windows_path(self.tree)})
        box = run.wait_box()
        self.assertTrue(box.message_box, box)
        self.assertEqual(box.text, CONFIRM_CSP)
        self.assertEqual(box.caption, PLUGIN_CAPTION)
        run.press(wh.IDYES)
        return run, run.wait_box(caption=CAPTION)

    def wait_dialog(self, run, condition, what, timeout=30.0):
        """Reads the dialog again until condition(box) holds; fails with the last look after timeout."""
        deadline = time.monotonic() + timeout
        while True:
            box = run.wait_box(caption=CAPTION)
            if condition(box):
                return box
            if time.monotonic() > deadline:
                self.fail("the dialog never showed %s:\n%s" % (what, box))

    def checked(self, box):
        return [c for c in RADIOS if box.control(c)["checked"] == 1]

    def assert_view(self, box, options):
        for control in OPTIONS_VIEW:
            self.assertEqual(box.control(control)["visible"], options, control)
        for control in WELCOME_VIEW:
            self.assertEqual(box.control(control)["visible"], not options, control)
        for control in (NEXT, CANCEL, VIEW_SWITCH):
            self.assertTrue(box.control(control)["visible"], control)
        self.assertEqual(box.control(VIEW_SWITCH)["text"], "Скрыть" if options else "Опции")

    def click(self, box, units):
        """A real mouse click (X server) in the middle of a control given in dialog units."""
        left, top, right, bottom = box.rect
        scale_x = (right - left - 2 * FRAME) / DIALOG_UNITS[0]
        scale_y = (bottom - top - 2 * FRAME - CAPTION_BAR) / DIALOG_UNITS[1]
        x = left + FRAME + (units[0] + units[2] / 2) * scale_x
        y = top + FRAME + CAPTION_BAR + (units[1] + units[3] / 2) * scale_y
        env = dict(os.environ, DISPLAY=self.session.display)
        subprocess.run(["xdotool", "mousemove", "--sync", str(int(x)), str(int(y)), "click", "1"], env=env,
                       check=True, timeout=30)

    def click_close_box(self, box):
        left, top, right, _ = box.rect
        x, y = right - FRAME - CAPTION_BAR // 2, top + FRAME + CAPTION_BAR // 2
        env = dict(os.environ, DISPLAY=self.session.display)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], env=env, check=True,
                       timeout=30)

    def assert_went_on_to_the_provider(self, run):
        """The run got past the dialog: csp\\Setup.exe ran once, with the -CSPArgs text and nothing
        of the dialog's choice, and its failure ends the run."""
        box = run.wait_box()
        self.assertTrue(box.message_box, box)
        self.assertTrue(box.text.startswith(PROVIDER_FAILED + ": %d." % PROVIDER_EXIT), box)
        run.press(wh.IDOK)
        self.assertEqual(run.wait_exit().code, PROVIDER_EXIT)
        logs = glob.glob(os.path.join(glob.escape(self.tree), "csp_*.log"))
        self.assertEqual(len(logs), 1, logs)
        # -CSPArgs gives its value followed by a blank.
        with open(self.record, encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines(), [
                'csp\\Setup.exe -args "/qb /Lv! """%s""" %s " -noreboot' % (wh.to_windows_path(logs[0]), CSP_ARGS)])

    def assert_cancelled(self, run):
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 0)
        self.assertFalse(os.path.exists(self.record), "a provider was started")

    # ----- scenarios -----

    def test_welcome_view_then_options_twice(self):
        """The real template: welcome view, Options, Options again, screenshots of both views."""
        run, box = self.start()
        self.assertFalse(box.message_box)
        self.assertEqual([(c["id"], c["class"], c["text"], c["visible"]) for c in box.controls], TEMPLATE)
        self.assertEqual(box.default_button, NEXT)
        self.assertEqual(box.data["focus"], NEXT)
        self.assertEqual(self.checked(box), [ENGLISH, KC1])
        self.assert_view(box, options=False)
        # 204 x 143 dialog units of "MS Shell Dlg" 8 on a 1280 x 1024 screen, centred.
        left, top, right, bottom = box.rect
        self.assertTrue(300 <= right - left <= 450 and 200 <= bottom - top <= 330, box.rect)
        self.assertLessEqual(abs((left + right) - 1280), 4, box.rect)
        self.assertLessEqual(abs((top + bottom) - 1024), 4, box.rect)
        run.screenshot("dialog-welcome", box)

        run.press(VIEW_SWITCH, caption=CAPTION, wait_close=False)
        box = self.wait_dialog(run, lambda b: b.control(VIEW_SWITCH)["text"] == "Скрыть", "the options view")
        self.assert_view(box, options=True)
        self.assertEqual(self.checked(box), [ENGLISH, KC1])
        run.screenshot("dialog-options", box)

        run.press(VIEW_SWITCH, caption=CAPTION, wait_close=False)
        box = self.wait_dialog(run, lambda b: b.control(VIEW_SWITCH)["text"] == "Опции", "the welcome view")
        self.assert_view(box, options=False)

        run.press(CANCEL, caption=CAPTION)
        self.assert_cancelled(run)

    def test_choice_with_keyboard_and_mouse_then_next(self):
        """Options by keyboard, KC3 by arrow keys, Russian by a mouse click, then Return for "Далее"."""
        run, box = self.start()
        for key in ("TAB", "TAB"):
            run.key(key, caption=CAPTION)
        self.wait_dialog(run, lambda b: b.data["focus"] == VIEW_SWITCH, "the focus on the Options button")
        run.key("SPACE", caption=CAPTION)
        box = self.wait_dialog(run, lambda b: b.control(VIEW_SWITCH)["text"] == "Скрыть", "the options view")
        self.assert_view(box, options=True)
        # Tab reaches each group at its checked button: Далее, Отмена, English, KC1.
        for key in ("TAB", "TAB", "TAB", "TAB"):
            run.key(key, caption=CAPTION)
        self.wait_dialog(run, lambda b: b.data["focus"] == KC1, "the focus on KC1")
        run.key("DOWN", caption=CAPTION)
        run.key("DOWN", caption=CAPTION)
        box = self.wait_dialog(run, lambda b: self.checked(b) == [ENGLISH, KC3], "KC3 chosen by the arrow keys")

        self.click(box, RADIO_UNITS[RUSSIAN])
        box = self.wait_dialog(run, lambda b: self.checked(b) == [RUSSIAN, KC3], "Russian chosen by the mouse")
        run.screenshot("dialog-choice", box)
        run.key("RETURN", caption=CAPTION)
        self.assert_went_on_to_the_provider(run)

    def test_next_at_once_goes_on_to_the_provider(self):
        run, _ = self.start()
        run.press(NEXT, caption=CAPTION)
        self.assert_went_on_to_the_provider(run)

    def test_escape_ends_with_zero(self):
        run, _ = self.start()
        run.key("ESCAPE", caption=CAPTION, wait_close=True)
        self.assert_cancelled(run)

    def test_cancel_in_the_options_view_ends_with_zero(self):
        run, _ = self.start()
        run.press(VIEW_SWITCH, caption=CAPTION, wait_close=False)
        self.wait_dialog(run, lambda b: b.control(VIEW_SWITCH)["text"] == "Скрыть", "the options view")
        run.press(KC2, caption=CAPTION, wait_close=False)
        run.press(CANCEL, caption=CAPTION)
        self.assert_cancelled(run)

    def test_close_box_ends_with_zero(self):
        run, box = self.start()
        self.click_close_box(box)
        self.assert_cancelled(run)

    def test_presets_follow_the_system_language(self):
        """ru_RU gives Windows 1049 and "Русский"; Ukrainian and Russian of Moldova give "English"."""
        for locale, language in (("ru_RU.UTF-8", RUSSIAN), ("uk_UA.UTF-8", ENGLISH), ("ru_MD.UTF-8", ENGLISH)):
            with self.subTest(locale=locale):
                self.session.reset()
                run, box = self.start(locale)
                self.assertEqual(self.checked(box), [language, KC1])
                run.key("ESCAPE", caption=CAPTION, wait_close=True)
                self.assert_cancelled(run)


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe", "provider_stub.exe")
