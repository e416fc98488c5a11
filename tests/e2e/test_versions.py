"""The Windows-version gate of vexissetup.exe under Wine's version emulation.

Wine reports the version of a per-program AppDefaults "Version" value
(win2k = 5.0 SP4, winxp = 5.1 SP3, win2003 = 5.2 SP2, vista = 6.0 SP2,
nt40 = 4.0 SP6) or, without one, the version and service pack written in the
prefix's registry. Both change the shared prefix, so every scenario puts the
values back as it found them, also when it fails.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_versions.py -v
"""

import contextlib
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness  # noqa: E402

CAPTION = "Норвикс ЭЦП Browser plug-in"
CONFIRM_PLUGIN = "Установить Норвикс ЭЦП Browser plug-in?"
TOO_OLD = "Установка продукта не возможна на ОС старше Windows 2000."
NEEDS_SP4_2000 = "Для установки продукта на Windows 2000 требуется пакет обновлений SP4."
NEEDS_SP2_XP = "Для установки продукта на Windows XP требуется пакет обновлений SP2."
NEEDS_SP2_2003 = "Для установки продукта на Windows 2003 требуется пакет обновлений SP2."

APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\vexissetup.exe"
WINE_SETTINGS = r"HKCU\Software\Wine"
NT_VERSION = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"
SERVICE_PACK = r"HKLM\System\CurrentControlSet\Control\Windows"


class _Saved:
    """One registry value as it was, put back by restore()."""

    def __init__(self, session, key, name, view=None):
        self.session, self.key, self.name, self.view = session, key, name, view
        self.value = session.reg_query(key, name, view=view)  # (type, data) or None

    def restore(self):
        if self.value is None:
            self.session.reg_delete(self.key, self.name, view=self.view)
            return
        kind, data = self.value
        self.session.reg_add(self.key, self.name, data, kind=kind, view=self.view)


@contextlib.contextmanager
def _restored(saved):
    try:
        yield
    finally:
        for value in reversed(saved):
            value.restore()


@contextlib.contextmanager
def emulated_version(session, version):
    """Wine reports `version` (an AppDefaults name such as winxp) to vexissetup.exe alone."""
    key_existed = session.reg_query(APP_DEFAULTS) is not None
    saved = [_Saved(session, APP_DEFAULTS, "Version")]
    try:
        with _restored(saved):
            session.reg_add(APP_DEFAULTS, "Version", version)
            yield
    finally:
        if not key_existed:
            session.reg_delete(APP_DEFAULTS)


@contextlib.contextmanager
def registry_version(session, version, build, service_pack):
    """The prefix's registry names Windows `version` (e.g. "5.1") with `service_pack` (0 = none).

    The version is written in the registry view the exe under test reads: the 32-bit one for the
    i686 exe under WOW64, the 64-bit one for the x64 exe. A Version value of Wine's own settings
    would override the registry: it is taken away for the block and put back after it."""
    view = session.program_view
    saved = [_Saved(session, key, "Version") for key in (APP_DEFAULTS, WINE_SETTINGS)]
    saved += [_Saved(session, NT_VERSION, name, view=view)
              for name in ("CurrentVersion", "CurrentBuildNumber", "CSDVersion")]
    saved.append(_Saved(session, SERVICE_PACK, "CSDVersion"))
    with _restored(saved):
        for key in (APP_DEFAULTS, WINE_SETTINGS):
            session.reg_delete(key, "Version")
        session.reg_add(NT_VERSION, "CurrentVersion", version, view=view)
        session.reg_add(NT_VERSION, "CurrentBuildNumber", str(build), view=view)
        session.reg_add(NT_VERSION, "CSDVersion", "Service Pack %d" % service_pack if service_pack else "",
                        view=view)
        session.reg_add(SERVICE_PACK, "CSDVersion", service_pack << 8, kind="REG_DWORD")
        yield


class WindowsVersionGateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = wine_harness.session()
        # An empty folder as the current directory: nothing could be installed
        # from it even if a gate let a refused run through.
        cls.empty = tempfile.mkdtemp(prefix="versions-", dir=os.path.dirname(cls.session.prefix))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.empty, ignore_errors=True)

    def setUp(self):
        self.session.reset()

    def start(self, args=()):
        return self.session.run(self.session.exe("vexissetup.exe"), list(args), cwd=self.empty)

    def assert_accepted(self):
        """The run passes both gates: the confirmation question follows; No ends it with 0."""
        run = self.start()
        box = run.wait_box()
        self.assertEqual((box.caption, box.text), (CAPTION, CONFIRM_PLUGIN))
        run.press(wine_harness.IDNO)
        self.assertEqual(run.wait_exit().code, 0)

    def assert_refused(self, message, exit_code, name):
        """The refusal box (caption 104, OK only) then the exit code; a silent run shows nothing."""
        run = self.start()
        box = run.wait_box()
        run.screenshot(name)
        self.assertEqual(box.caption, CAPTION)
        self.assertEqual(box.text, message)
        self.assertEqual(box.button_ids, [wine_harness.IDOK])
        run.press(wine_harness.IDOK)
        self.assertEqual(run.wait_exit().code, exit_code)

        run = self.start(["-silent"])
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, exit_code)

    # Tests that Windows 2000, XP and 2003 with their default service packs,
    # and Vista, pass the gate.
    def test_supported_versions_are_accepted(self):
        for version in ("win2k", "winxp", "win2003", "vista"):
            with self.subTest(version=version), emulated_version(self.session, version):
                self.assert_accepted()

    # Tests that a service pack below each version's minimum is refused with
    # that version's message and exit code.
    def test_missing_service_pack_is_refused(self):
        rows = [
            ("5.0", 2195, 3, NEEDS_SP4_2000, 3, "version-2000-sp3"),
            ("5.1", 2600, 1, NEEDS_SP2_XP, 4, "version-xp-sp1"),
            ("5.2", 3790, 0, NEEDS_SP2_2003, 5, "version-2003-sp0"),
            ("5.2", 3790, 1, NEEDS_SP2_2003, 5, "version-2003-sp1"),
        ]
        for version, build, service_pack, message, exit_code, name in rows:
            with self.subTest(version=version, service_pack=service_pack), \
                    registry_version(self.session, version, build, service_pack):
                self.assert_refused(message, exit_code, name)

    # Tests that the minimum service pack itself is enough, and that Vista
    # without a service pack is accepted (no version 6 is refused).
    def test_minimum_service_pack_is_accepted(self):
        for version, build, service_pack in (("5.0", 2195, 4), ("5.1", 2600, 2), ("6.0", 6000, 0)):
            with self.subTest(version=version, service_pack=service_pack), \
                    registry_version(self.session, version, build, service_pack):
                self.assert_accepted()

    # Tests that Windows NT 4.0 is refused with message 116 even in a silent
    # run, with the program's own exit code for a version below 5.
    def test_version_below_five_speaks_even_when_silent(self):
        with emulated_version(self.session, "nt40"):
            for args in ([], ["-silent"]):
                with self.subTest(args=args):
                    run = self.start(args)
                    box = run.wait_box()
                    run.screenshot("version-nt40" + ("-silent" if args else ""))
                    self.assertEqual((box.caption, box.text), (CAPTION, TOO_OLD))
                    self.assertEqual(box.button_ids, [wine_harness.IDOK])
                    run.press(wine_harness.IDOK)
                    self.assertEqual(run.wait_exit().code, 6)


if __name__ == "__main__":
    wine_harness.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
