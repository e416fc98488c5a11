"""The common ground of the plug-in scenarios under Wine: one session, a
scratch folder per test class, and per test a product family of its own, a
distribution tree and a TMP folder.
"""

import datetime
import glob
import os
import re
import shutil
import tempfile
import unittest

import plugin_packages as pp
import wine_harness as wh

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


# A log name past the five stamped ones: sixteen hexadecimal digits nobody can guess.
RANDOM_LOG_NAME = re.compile(r"_[0-9A-F]{16}\.log$")


def plant_log_names(folder, names, victim, seconds=90):
    """Plants, for each of the next `seconds` seconds of local time, a link in folder under each
    name's log name (<name>_<stamp>.log) and its four successors (_2 to _5) to the file victim, as
    a user of a shared TMP could before a setup running as the system writes there. Returns the
    links planted."""
    now = datetime.datetime.now()
    links = []
    for second in range(seconds):
        stamp = (now + datetime.timedelta(seconds=second)).strftime("%Y-%m-%d-%H-%M-%S")
        for name in names:
            for suffix in ("", "_2", "_3", "_4", "_5"):
                links.append(os.path.join(folder, "%s_%s%s.log" % (name, stamp, suffix)))
                os.symlink(victim, links[-1])
    return links


class PluginScenario(unittest.TestCase):
    scratch_prefix = "scenario-"

    @classmethod
    def setUpClass(cls):
        cls.session = wh.session()
        cls.scratch = tempfile.mkdtemp(prefix=cls.scratch_prefix, dir=os.path.dirname(cls.session.prefix))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.session.reset()
        name = self.id().rsplit(".", 1)[-1]
        self.family = pp.Family("%s-%s" % (name, os.path.basename(self.scratch)))
        self.root = os.path.join(self.scratch, name)
        self.dist = os.path.join(self.root, "dist")
        self.temp = os.path.join(self.root, "temp")
        os.makedirs(self.temp)

    def installed_version(self, code, session=None):
        """The installed version of a product code of the family, or None (in the session's prefix,
        by default the test's)."""
        value = (session or self.session).reg_query(UNINSTALL + "\\" + code, "DisplayVersion", view=64)
        return value[1] if value else None

    def start(self, *args, dist=None, temp=None, session=None):
        """Starts vexissetup.exe with args in the tree, TMP and TEMP naming the test's temp folder."""
        session = session or self.session
        temp_windows = wh.to_windows_path(temp or self.temp)
        return session.run(session.exe("vexissetup.exe"), args, cwd=dist or self.dist,
                           env={"TMP": temp_windows, "TEMP": temp_windows})

    def run_log(self, temp=None):
        """The lines of the latest run's own log in the temp folder, without their milliseconds."""
        # Links planted under the log's names are never the run's own log.
        logs = sorted(log for log in glob.glob(os.path.join(glob.escape(temp or self.temp), "vexissetup_*.log"))
                      if not os.path.islink(log))
        self.assertTrue(logs, os.listdir(temp or self.temp))
        with open(logs[-1], "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), data[:40])
        lines = data[3:].decode("utf-8").split("\r\n")
        self.assertEqual(lines[-1], "")
        return [line.lstrip().split(" ", 1)[1] for line in lines[1:-1]]

    def assert_logged(self, lines, *expected):
        """Each expected text begins a line of the run log, in this order."""
        at = 0
        for text in expected:
            found = [i for i in range(at, len(lines)) if lines[i].startswith(text)]
            self.assertTrue(found, "no %r after line %d of the run log:\n%s" % (text, at, "\n".join(lines)))
            at = found[0] + 1

    def logs(self, package="vexiscom-x64.msi", temp=None):
        """The plug-in installer's logs in the temp folder."""
        return glob.glob(os.path.join(glob.escape(temp or self.temp), package + "_*.log"))
