"""The main path of the real vexissetup.exe under Wine, against packages built
with wixl and installed by Wine's own msiexec: first installation, the
reinstall question, an upgrade, the refusal of a downgrade, the restart, a
failing package, and a tree under Cyrillic paths with spaces.

Each scenario has a product family of its own (see plugin_packages).
"""

import datetime
import glob
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plugin_packages as pp  # noqa: E402
import plugin_scenario as ps  # noqa: E402
import wine_harness as wh  # noqa: E402

CAPTION = "Норвикс ЭЦП Browser plug-in"
CONFIRM = "Установить Норвикс ЭЦП Browser plug-in?"
UPDATE_CAPTION = "Обновление"
REINSTALL_QUESTION = "Эта версия Норвикс ЭЦП Browser plug-in уже установлена. Переустановить?"
NEWER_INSTALLED = "Более новая версия Норвикс ЭЦП Browser plug-in уже установлена."
BROWSER_NOTICE = ("Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс ЭЦП "
                  "Browser plug-in может потребоваться перезапустить браузер.")
RESTART_QUESTION = ("Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс ЭЦП "
                    "Browser plug-in необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?")
FAILED = "В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка"
MARKER = r"HKCU\Software\NeedBstrReboot"
SOURCE_LIST = r"HKLM\Software\Classes\Installer\Products\%s\SourceList"


class MainPathTest(ps.PluginScenario):
    scratch_prefix = "main-path-"

    def setUp(self):
        super().setUp()
        self.session.reg_delete(MARKER)

    # ----- helpers -----

    def package(self, version, folder="x64", label="1", **options):
        arch = "x64" if folder == "x64" else "x86"
        name = "vexiscom-%s.msi" % ("x64" if arch == "x64" else "win32")
        return pp.build_package(os.path.join(self.dist, folder, name), self.family, version,
                                product_label=label, arch=arch, **options)

    def preinstall(self, version, label="1"):
        """Installs a version of the family directly with msiexec, outside the tree."""
        path = os.path.join(self.root, "old", "vexiscom-x64-old-%s.msi" % version)
        code = pp.build_package(path, self.family, version, product_label=label)
        proc = self.session.run_wine(["msiexec", "/i", wh.to_windows_path(path), "/qn"], check=False)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(self.installed_version(code), version)
        return code

    def answer(self, run, text, caption, button, shot=None):
        box = run.wait_box()
        if shot:
            run.screenshot(shot)
        self.assertEqual((box.caption, box.text), (caption, text), box)
        run.press(button)
        return box

    def marker_exists(self):
        return self.session.reg_query(MARKER) is not None

    # ----- scenarios -----

    # Tests that a first installation picks the x64 package on a 64-bit system and logs verbosely in TMP.
    def test_first_install_picks_x64_and_logs(self):
        code = self.package("2.0.1")
        self.package("2.0.1", folder="win32", label="win32")
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        box = run.wait_box()
        run.screenshot("main_first_install_notice")
        self.assertEqual((box.caption, box.text), (CAPTION, BROWSER_NOTICE))
        run.press(wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.1")
        self.assertIsNone(self.installed_version(self.family.product_code("win32")))
        # Both builds take the x64 package, each knowing 64-bit Windows its own way.
        wow64 = "no, a 64-bit process on 64-bit Windows" if wh.current_leg().name == wh.X64 else "yes"
        self.assert_logged(self.run_log(), "WOW64: %s; plug-in package pattern vexiscom*x64*.msi" % wow64,
                           "plug-in package: " + wh.to_windows_path(os.path.join(self.dist, "x64", "vexiscom-x64.msi")))
        logs = self.logs()
        self.assertEqual(len(logs), 1, os.listdir(self.temp))
        with open(logs[0], "rb") as f:
            self.assertGreater(len(f.read()), 1000)
        # The name's stamp is the local time of the run.
        stamp = os.path.basename(logs[0])[len("vexiscom-x64.msi_"):-len(".log")]
        stamped = datetime.datetime.strptime(stamp, "%Y-%m-%d-%H-%M-%S")
        self.assertLess(abs((datetime.datetime.now() - stamped).total_seconds()), 300, stamp)

    # Tests that on 32-bit Windows the 32-bit exe installs the win32 package, not the x64 one
    # beside it, and logs why.
    @wh.needs_32_bit_process
    def test_32_bit_windows_installs_the_win32_package(self):
        session = wh.win32_session()
        self.addCleanup(session.stop)
        x64 = self.package("2.0.14")
        win32 = self.package("2.0.14", folder="win32", label="win32")
        run = self.start("-silent", session=session)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(win32, session), "2.0.14")
        self.assertIsNone(self.installed_version(x64, session))
        self.assertEqual(len(self.logs("vexiscom-win32.msi")), 1, os.listdir(self.temp))
        package = wh.to_windows_path(os.path.join(self.dist, "win32", "vexiscom-win32.msi"))
        self.assert_logged(self.run_log(), "WOW64: no; plug-in package pattern vexiscom*win32*.msi",
                           "plug-in package: " + package, "decision: first installation",
                           "exit code 0: done")

    # Tests the reinstall question for the same version: No runs nothing and gives 1602, Yes reinstalls.
    def test_same_version_question(self):
        code = self.preinstall("2.0.5")
        self.package("2.0.5")
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, REINSTALL_QUESTION, UPDATE_CAPTION, wh.IDNO, shot="main_reinstall_question")
        self.assertEqual(run.wait_exit().code, 1602)
        self.assertEqual(self.logs(), [])

        # While the question waits, the package decided on can be neither replaced nor renamed by
        # another program (a sharing violation), and it is the package installed.
        other = os.path.join(self.root, "other", "vexiscom-x64.msi")
        pp.build_package(other, self.family, "2.0.6")
        package = os.path.join(self.dist, "x64", "vexiscom-x64.msi")
        with open(package, "rb") as f:
            decided = f.read()
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.assertEqual(run.wait_box().text, REINSTALL_QUESTION)
        for command in (["move", "/y", wh.to_windows_path(other), wh.to_windows_path(package)],
                        ["ren", wh.to_windows_path(package), "renamed.msi"]):
            proc = self.session.run_wine(["cmd", "/c"] + command, check=False)
            self.assertNotEqual(proc.returncode, 0, (command, proc.stdout, proc.stderr))
        with open(package, "rb") as f:
            self.assertEqual(f.read(), decided)
        self.answer(run, REINSTALL_QUESTION, UPDATE_CAPTION, wh.IDYES)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(len(self.logs()), 1)
        self.assertEqual(self.installed_version(code), "2.0.5")

    # Tests that -reinstall reinstalls the same version without the question.
    def test_reinstall_flag_asks_nothing(self):
        self.preinstall("2.0.6")
        self.package("2.0.6")
        run = self.start("-reinstall")
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(len(self.logs()), 1)

    # Tests the version order by value on the same product code: 2.0.10000 offered over 2.0.9999
    # upgrades without question 147 or message 150 (as text it would sort older).
    def test_upgrade_numeric_version_order(self):
        code = self.preinstall("2.0.9999")
        self.package("2.0.10000")
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.10000")
        self.assertEqual(len(self.logs()), 1)

    # Tests that 2.0.9999 offered over an installed 2.0.10000 of the same product code gives
    # message 150 and runs nothing; silently the older package is installed over it.
    def test_newer_installed(self):
        code = self.preinstall("2.0.10000")
        self.package("2.0.9999")
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        box = self.answer(run, NEWER_INSTALLED, UPDATE_CAPTION, wh.IDOK, shot="main_newer_installed")
        self.assertTrue(box.message_box)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.logs(), [])
        self.assertEqual(self.installed_version(code), "2.0.10000")
        self.assert_logged(self.run_log(), "plug-in package: ProductCode " + code, "installed version: 2.0.10000",
                           "package version 2.0.9999 is older than the installed one", "box 150: OK",
                           "decision: a newer version is installed; nothing is installed",
                           "exit code 0: done")

        run = self.start("-silent")
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.9999")

    # Tests a tree whose provider folder carries the provider's own x64 package, listed before
    # x64, with that provider installed: the plug-in is installed, the provider left as it was.
    def test_provider_package_in_the_tree(self):
        provider = pp.Family(self.family.name + "-provider")
        provider_package = os.path.join(self.dist, "csp", "csp-x64-kc1.msi")
        provider_code = pp.build_package(provider_package, provider, "5.0.1")
        proc = self.session.run_wine(["msiexec", "/i", wh.to_windows_path(provider_package), "/qn"])
        self.assertEqual(proc.returncode, 0, proc.stderr)
        source_list = SOURCE_LIST % pp.packed_guid(provider_code)
        provider_source = self.session.reg_query(source_list, "PackageName", view=64)
        self.assertIsNotNone(provider_source)
        code = self.package("2.0.12")
        run = self.start("-silent")
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.12")
        self.assertEqual(self.installed_version(provider_code), "5.0.1")
        self.assertEqual(self.session.reg_query(source_list, "PackageName", view=64), provider_source)

    # Tests a tree whose win32 folder still holds the older version: the x64 package decides,
    # so the installed 2.0.9999 is upgraded to 2.0.10000 without question 147.
    def test_mixed_versions_in_the_tree(self):
        old = self.preinstall("2.0.9999")
        new = self.package("2.0.10000", label="2", major_upgrade=True)
        self.package("2.0.9999", folder="win32", label="win32")
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(new), "2.0.10000")
        self.assertIsNone(self.installed_version(old))

    # Tests a package that asks for a restart: marker, question 108, No removes the marker.
    def test_restart_requested(self):
        self.package("2.0.7", schedule_reboot=True)
        run = self.start()
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        box = run.wait_box()
        run.screenshot("main_restart_question")
        self.assertEqual((box.caption, box.text), (CAPTION, RESTART_QUESTION))
        self.assertEqual(box.button_ids, [wh.IDYES, wh.IDNO])
        run.press(wh.IDNO)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertFalse(self.marker_exists())

    # Tests -norestart: the browser notice instead of the question, and the marker stays.
    def test_norestart_keeps_marker(self):
        self.package("2.0.8", schedule_reboot=True)
        run = self.start("-norestart")
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, BROWSER_NOTICE, CAPTION, wh.IDOK, shot="main_norestart_notice")
        self.assertEqual(run.wait_exit().code, 0)
        self.assertTrue(self.marker_exists())

    # Tests a failing package: message 106 with the code and the log, exit 1603.
    def test_failing_package(self):
        self.package("2.0.9", fail=True)
        # /qn: Windows Installer shows no error box of its own.
        run = self.start("-VexisArgs", "/qn")
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        box = run.wait_box()
        run.screenshot("main_failure")
        logs = self.logs()
        self.assertEqual(len(logs), 1)
        self.assertEqual(box.caption, CAPTION)
        self.assertEqual(box.text, FAILED + ": 1603.\nInstall log: " + wh.to_windows_path(logs[0]))
        run.press(wh.IDOK)
        self.assertEqual(run.wait_exit().code, 1603)
        self.assertFalse(self.marker_exists())
        self.assert_logged(self.run_log(), "msiexec: ended after", "plug-in: result: 1603",
                           "plug-in: installer log: " + wh.to_windows_path(logs[0]), "box 106: OK",
                           "exit code 1603: the plug-in's installation failed")

    # Tests a TMP naming a folder that does not exist: the installer's log cannot be created, so
    # nothing is started (no name the bootstrapper did not create is handed over); the box names
    # the creation's code (3, the path not found) without a log line.
    def test_temp_folder_missing(self):
        code = self.package("2.0.13")
        run = self.start("-VexisArgs", "/qn", temp=os.path.join(self.root, "no such folder"))
        self.answer(run, CONFIRM, CAPTION, wh.IDYES)
        self.answer(run, FAILED + ": 3.\n", CAPTION, wh.IDOK)
        self.assertEqual(run.wait_exit().code, 3)
        self.assertIsNone(self.installed_version(code))

    # Tests that no installer writes through a name planted in TMP: links planted under every
    # stamped name and its four successors, for the installer's log and the run log, for the
    # coming minute and a half, are left as they were (and so is the file they point to), both
    # logs go to a name nobody could guess, and the run log names the installer's.
    def test_names_planted_in_temp_are_left_alone(self):
        code = self.package("2.0.14")
        victim = os.path.join(self.root, "victim.txt")
        with open(victim, "w") as f:
            f.write("nobody may write here\n")
        links = ps.plant_log_names(self.temp, ["vexiscom-x64.msi", "vexissetup"], victim)
        run = self.start("-silent", "-VexisArgs", "/qn")
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.14")
        with open(victim) as f:
            self.assertEqual(f.read(), "nobody may write here\n")
        self.assertTrue(all(os.path.islink(link) for link in links))
        logs = [log for log in self.logs() if not os.path.islink(log)]
        self.assertEqual(len(logs), 1, os.listdir(self.temp))
        self.assertRegex(logs[0], ps.RANDOM_LOG_NAME)
        self.assertGreater(os.path.getsize(logs[0]), 1000)
        run_logs = [log for log in glob.glob(os.path.join(self.temp, "vexissetup_*.log"))
                    if not os.path.islink(log)]
        self.assertEqual(len(run_logs), 1, os.listdir(self.temp))
        self.assertRegex(run_logs[0], ps.RANDOM_LOG_NAME)
        self.assert_logged(self.run_log(), "msiexec: installer log: " + wh.to_windows_path(logs[0]),
                           "msiexec: started", "exit code 0: done")

    # Tests that a package whose folder and name are written in capitals, as on a CD, is found
    # and installed, and its log named after it.
    def test_upper_case_package_name(self):
        code = pp.build_package(os.path.join(self.dist, "X64", "VEXISCOM-X64.MSI"), self.family, "2.0.15")
        run = self.start("-silent", "-VexisArgs", "/qn")
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.15")
        self.assertEqual(len(self.logs(package="VEXISCOM-X64.MSI")), 1, os.listdir(self.temp))

    # Tests a tree and TMP under paths with spaces and Cyrillic letters.
    def test_cyrillic_paths_with_spaces(self):
        dist = os.path.join(self.root, "Дистрибутив Норвикс", "сборка 2")
        temp = os.path.join(self.root, "Временные файлы")
        os.makedirs(temp)
        self.dist = dist
        code = self.package("2.0.11")
        run = self.start("-silent", "-VexisArgs", "/qn VEXISTEST=1", dist=dist, temp=temp)
        self.assertEqual(run.wait_exit().code, 0)
        self.assertEqual(self.installed_version(code), "2.0.11")
        logs = self.logs(temp=temp)
        self.assertEqual(len(logs), 1)
        package = wh.to_windows_path(os.path.join(dist, "x64", "vexiscom-x64.msi"))
        self.assert_logged(
            self.run_log(temp=temp), "plug-in package: " + package,
            "plug-in package: ProductCode %s, UpgradeCode %s, ProductVersion 2.0.11" % (
                code, self.family.upgrade_code),
            "decision: first installation",
            'msiexec: started "C:\\windows\\system32\\msiexec.exe" /i "%s" /Lv! "%s" REBOOT=R  /qn VEXISTEST=1 ' % (
                package, wh.to_windows_path(logs[0])),
            "msiexec: ended after", "plug-in: result: 0", "exit code 0: done; no restart pending")


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
