"""The Wine harness's choice of builds, without Wine: the probe's answers, and
what wine_harness.main() runs and prints for each answer and each E2E_BUILD,
on a stand-in script whose legs start no Wine program.

Run by ctest (label unit), or by hand: python3 tests/e2e/harness_test.py -v
"""

import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import wine_harness as wh  # noqa: E402

EXEC_FORMAT_ERROR = "[Errno 8] Exec format error"

# A stand-in for an end-to-end script: each leg checks that it got its own build and loader, and
# the scenario that needs a 32-bit process checks that it runs in the i686 leg only.
SCRIPT = textwrap.dedent("""\
    import os
    import sys
    import unittest

    sys.path.insert(0, %r)
    import wine_harness as wh


    class StandIn(unittest.TestCase):
        def test_leg(self):
            leg = wh.current_leg()
            x64 = leg.name == wh.X64
            self.assertEqual(leg.build_dir, os.environ["E2E_WINDOWS_X64_BUILD_DIR" if x64 else "E2E_WINDOWS_BUILD_DIR"])
            self.assertEqual(leg.loader, wh.WINE64 if x64 else "wine")
            self.assertNotEqual(os.environ.get("STAND_IN_FAILS_IN"), leg.name)

        @wh.needs_32_bit_process
        def test_win32(self):
            self.assertEqual(wh.current_leg().name, wh.I686)


    if __name__ == "__main__":
        wh.main("vexissetup.exe")
    """) % HERE


class HarnessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="harness-")
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.garbage = cls.executable("garbage", b"no program at all\n")
        # An ELF header of no machine (EM_NONE) that no binfmt handler claims either.
        cls.foreign_elf = cls.executable("foreign-elf", b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack("<HHI", 2, 0, 1)
                                         + bytes(36))
        cls.script = os.path.join(cls.work, "test_stand_in.py")
        with open(cls.script, "w") as f:
            f.write(SCRIPT)
        cls.builds = {}
        for name, folder in (("E2E_WINDOWS_BUILD_DIR", "windows"), ("E2E_WINDOWS_X64_BUILD_DIR", "windows-x64")):
            cls.builds[name] = os.path.join(cls.work, folder)
            os.makedirs(cls.builds[name])
            open(os.path.join(cls.builds[name], "vexissetup.exe"), "w").close()

    @classmethod
    def executable(cls, name, content):
        path = os.path.join(cls.work, name)
        with open(path, "wb") as f:
            f.write(content)
        os.chmod(path, stat.S_IRWXU)
        return path

    def run_stand_in(self, probe, **environ):
        env = {k: v for k, v in os.environ.items()
               if k not in ("E2E_BUILD", "E2E_SEQUENTIAL_LEGS", wh.LEG_VARIABLE, "CI")}
        env.update(self.builds, E2E_WINE_PREFIX=os.path.join(self.work, "prefix"), E2E_32BIT_PROBE=probe, **environ)
        proc = subprocess.run([sys.executable, self.script], env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, timeout=120)
        return proc.returncode, proc.stdout

    def exe(self, leg):
        return os.path.join(self.builds["E2E_WINDOWS_X64_BUILD_DIR" if leg == wh.X64 else "E2E_WINDOWS_BUILD_DIR"],
                            "vexissetup.exe")

    # Tests that a program that runs is a yes, and everything that does not run is a no with its reason.
    def test_probe(self):
        rows = [
            (sys.executable, True, "%s --version exited 0" % sys.executable),
            (self.garbage, False, "%s --version: %s" % (self.garbage, EXEC_FORMAT_ERROR)),
            (self.foreign_elf, False, "%s --version: %s" % (self.foreign_elf, EXEC_FORMAT_ERROR)),
            ("/no/such/wine", False, "/no/such/wine --version: [Errno 2] No such file or directory"),
            (shutil.which("false"), False, "%s --version exited 1" % shutil.which("false")),
        ]
        for program, runs, why in rows:
            with self.subTest(program=program):
                self.assertEqual(wh.probe_32_bit(program), (runs, why))

    # Tests the legs main() runs for each answer of the probe and each E2E_BUILD, the line it prints
    # first, the scenario it names as not run, and its exit code.
    def test_main(self):
        i686 = "%s (i686, in a 64-bit WoW64 prefix)" % self.exe(wh.I686)
        x64 = "%s (x64, under wine64)" % self.exe(wh.X64)
        yes = "this machine runs 32-bit programs (%s --version exited 0)" % sys.executable
        no = "this machine runs no 32-bit program (%s --version: %s)" % (self.garbage, EXEC_FORMAT_ERROR)
        not_run = "test_stand_in.StandIn.test_win32: needs a 32-bit process"
        rows = [
            (sys.executable, {}, 0, ["e2e: %s and %s: %s" % (i686, x64, yes), "i686 leg: passed", "x64 leg: passed"],
             "not run"),
            (self.garbage, {}, 0, ["e2e: %s only: %s" % (x64, no), "x64 leg: passed",
                                   "not run on this machine: " + not_run], "i686 leg"),
            (sys.executable, {"E2E_BUILD": "x64"}, 0, ["e2e: %s only: E2E_BUILD=x64" % x64, "x64 leg: passed",
                                                       "not run with E2E_BUILD=x64: " + not_run], "i686 leg"),
            (sys.executable, {"E2E_BUILD": "i686"}, 0, ["e2e: %s only: E2E_BUILD=i686" % i686, "i686 leg: passed"],
             "x64 leg"),
            (self.garbage, {"E2E_BUILD": "i686"}, 1,
             ["e2e: FAILED: E2E_BUILD=i686, but this machine runs no 32-bit program (%s --version: %s)" % (
                 self.garbage, EXEC_FORMAT_ERROR)], "leg"),
            (sys.executable, {"STAND_IN_FAILS_IN": "x64"}, 1,
             ["e2e: %s and %s: %s" % (i686, x64, yes), "i686 leg: passed", "x64 leg: FAILED"], "not run"),
            (sys.executable, {"STAND_IN_FAILS_IN": "i686", "E2E_SEQUENTIAL_LEGS": "1"}, 1,
             ["e2e: %s and %s: %s" % (i686, x64, yes), "i686 leg: FAILED", "x64 leg: passed"], "not run"),
        ]
        for probe, environ, code, lines, absent in rows:
            with self.subTest(probe=probe, **environ):
                exit_code, output = self.run_stand_in(probe, **environ)
                self.assertEqual(exit_code, code, output)
                self.assertEqual(output.splitlines()[0], lines[0], output)
                at = 0
                for line in lines[1:]:
                    found = output.find(line, at)
                    self.assertGreaterEqual(found, at, "no %r after offset %d:\n%s" % (line, at, output))
                    at = found + len(line)
                self.assertNotIn(absent, output)


if __name__ == "__main__":
    unittest.main()
