"""Large and odd input for the real vexissetup.exe under Wine: a distribution
tree of 10,000 folders, a "TMP" longer than 260 characters in Cyrillic with
blanks, and a "TMP" that names a file. Each run must end with a truthful exit
code.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plugin_packages as pp  # noqa: E402
import plugin_scenario as ps  # noqa: E402
import wine_harness as wh  # noqa: E402

PACKAGE = "vexiscom-x64.msi"


class ScaleTest(ps.PluginScenario):
    scratch_prefix = "scale-"

    def package(self, folder, version):
        return pp.build_package(os.path.join(self.dist, folder, PACKAGE), self.family, version)

    def long_folder(self, length):
        """A folder below the root whose Windows path has at least length characters, Cyrillic with blanks."""
        path = os.path.join(self.root, "длинный путь")
        while len(wh.to_windows_path(path)) < length:
            path = os.path.join(path, "Временные файлы администратора")
        os.makedirs(path)
        return path

    # Tests a tree of 10,000 folders with the package in one of them: found and installed, silently.
    def test_ten_thousand_folders(self):
        for i in range(10000):
            os.makedirs(os.path.join(self.dist, "папка %05d" % i))
        code = self.package("папка 09999", "2.0.21")
        t0 = time.monotonic()
        run = self.start("-silent")
        self.assertEqual(run.wait_exit(timeout=600).code, 0)
        wh._log("10,000 folders: silent install in %.1f s" % (time.monotonic() - t0))
        self.assertEqual(self.installed_version(code), "2.0.21")
        self.assertEqual(len(self.logs()), 1)

    # Tests a TMP longer than 260 characters: 206 as on Windows, before anything is made or started
    # there (the run's own log neither), and nothing is installed.
    def test_temp_longer_than_260_characters(self):
        temp = self.long_folder(300)
        code = self.package("x64", "2.0.22")
        run = self.start("-silent", temp=temp)
        self.assertEqual(run.wait_exit().code, 206)
        self.assertIsNone(self.installed_version(code))
        self.assertEqual(os.listdir(temp), [])

    # Tests a TMP that names a file: no log can be made below it, so nothing is started (no name
    # the bootstrapper did not create is handed to the installer); the exit code is the creation's
    # (3, the path not found), nothing is installed and the file is left as it was.
    def test_temp_names_a_file(self):
        temp = os.path.join(self.root, "temp.txt")
        with open(temp, "w") as f:
            f.write("not a folder\n")
        code = self.package("x64", "2.0.24")
        run = self.start("-silent", temp=temp)
        self.assertEqual(run.wait_exit().code, 3)
        self.assertIsNone(self.installed_version(code))
        with open(temp) as f:
            self.assertEqual(f.read(), "not a folder\n")

if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
