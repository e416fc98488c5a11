"""vexissetup.exe is reproducible: the sources copied to another folder and
built there, in another build folder, give the same bytes as the Windows build
(no link time stamp, no folder name, nothing of the moment of the build in the
file). Builds only the exe, as scripts/build configures it, for both
processors: the 32-bit exe and the x64 exe.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


BUILDS = (("E2E_WINDOWS_BUILD_DIR", "cmake/mingw-i686.cmake"),
          ("E2E_WINDOWS_X64_BUILD_DIR", "cmake/mingw-x86_64.cmake"))


class ReproducibleTest(unittest.TestCase):
    # Tests that a second build of the same sources elsewhere is byte-identical to each Windows build.
    def test_second_build_is_identical(self):
        work = tempfile.mkdtemp(prefix="vexis-second-build-")
        self.addCleanup(shutil.rmtree, work, True)
        source = os.path.join(work, "another checkout")
        shutil.copytree(ROOT, source, ignore=lambda folder, names: {"build", ".git"} if folder == ROOT else ())
        for variable, toolchain in BUILDS:
            with self.subTest(toolchain=toolchain):
                first = os.path.join(os.environ[variable], "vexissetup.exe")
                build = os.path.join(work, "out-" + os.path.basename(toolchain))
                for step in (["cmake", "-S", source, "-B", build, "-G", "Ninja",
                              "-DCMAKE_TOOLCHAIN_FILE=" + toolchain, "-DCMAKE_BUILD_TYPE=Release"],
                             ["cmake", "--build", build, "--target", "vexissetup"]):
                    result = subprocess.run(step, cwd=source, capture_output=True, text=True, timeout=900)
                    self.assertEqual(result.returncode, 0, result.stdout[-3000:] + result.stderr[-3000:])
                second = os.path.join(build, "vexissetup.exe")
                with open(first, "rb") as a, open(second, "rb") as b:
                    one, two = a.read(), b.read()
                differs = next((i for i in range(min(len(one), len(two))) if one[i] != two[i]), None)
                self.assertEqual(sha256(first), sha256(second),
                                 "%s (%d bytes) and a second build (%d bytes) differ first at offset %r; "
                                 "rebuild the Windows build if the sources changed since"
                                 % (first, len(one), len(two), differs))


if __name__ == "__main__":
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    import wine_harness  # the one rule for a test that cannot run: skipped, or failed under CI=true
    for variable, _ in BUILDS:
        wine_harness.skip_unless_built("vexissetup.exe", variable=variable)
    unittest.main()
