"""README's install.cmd, taken out of README.md as it stands there, run by Wine's cmd on a
distribution tree: a README edit that breaks the recipe breaks this test.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_readme_recipes.py -v
"""

import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plugin_packages as pp  # noqa: E402
import plugin_scenario as ps  # noqa: E402
import wine_harness as wh  # noqa: E402

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
MARKER = r"HKCU\Software\NeedBstrReboot"


def install_cmd():
    """The batch block that follows README's heading of install.cmd."""
    with open(README, encoding="utf-8") as f:
        found = re.search(r"^#### install\.cmd.*?^```bat\n(.*?)^```$", f.read(), re.M | re.S)
    if not found:
        raise AssertionError("README.md has no ```bat block under its install.cmd heading")
    return found.group(1)


class ReadmeRecipeTest(ps.PluginScenario):
    scratch_prefix = "recipes-"

    # Tests install.cmd beside vexissetup.exe: 0 when no restart is pending; 3010, with the marker
    # deleted, after a package that asked for one.
    def test_install_cmd(self):
        os.makedirs(self.dist)
        shutil.copy(self.session.exe("vexissetup.exe"), self.dist)
        with open(os.path.join(self.dist, "install.cmd"), "w", newline="\r\n") as f:
            f.write(install_cmd())
        self.session.reg_delete(MARKER)
        for version, restart, code in (("2.0.1", False, 0), ("2.0.2", True, 3010)):
            product = pp.build_package(os.path.join(self.dist, "x64", "vexiscom-x64.msi"), self.family, version,
                                       product_label=version, schedule_reboot=restart)
            # Started from another folder: the recipe changes to its own.
            run = self.session.run("C:\\windows\\system32\\cmd.exe",
                                   ["/c", wh.to_windows_path(os.path.join(self.dist, "install.cmd"))],
                                   cwd=self.temp, env={"TMP": wh.to_windows_path(self.temp)})
            self.assertEqual(run.wait_exit(timeout=120).code, code, run.wait_exit().stdout)
            self.assertEqual(self.installed_version(product), version)
            self.assertIsNone(self.session.reg_query(MARKER))


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
