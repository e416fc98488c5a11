"""scripts/sign on a copy of the real vexissetup.exe, with a code-signing
certificate made for this run only: the signature verifies against that
certificate, an unsigned or altered file does not, the password never shows on
a command line, a failure leaves the file as it was, and the signed exe still
runs under Wine (the help box, exit 0).

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_signing.py -v
"""

import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness as wh  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SIGN = os.path.join(ROOT, "scripts", "sign")
PASSWORD = "Пароль с пробелом $1"
HELP_CAPTION = "Справка"


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class SigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="signing-")
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.cert = os.path.join(cls.work, "signer.pem")
        cls.pfx = os.path.join(cls.work, "signer.pfx")
        key = os.path.join(cls.work, "signer.key")
        env = dict(os.environ, SIGN_PFX_PASSWORD=PASSWORD)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cls.cert,
                        "-days", "2", "-subj", "/CN=Vexis test publisher", "-addext", "keyUsage=digitalSignature",
                        "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cls.cert, "-out", cls.pfx,
                        "-passout", "env:SIGN_PFX_PASSWORD"], env=env, check=True, capture_output=True)
        # osslsigncode as scripts/sign calls it, through a stand-in that records its arguments and
        # where its password file is, then runs the real one.
        real = shutil.which("osslsigncode")
        cls.bin = os.path.join(cls.work, "bin")
        cls.calls = os.path.join(cls.work, "calls.txt")
        os.mkdir(cls.bin)
        wrapper = os.path.join(cls.bin, "osslsigncode")
        with open(wrapper, "w") as f:
            f.write(textwrap.dedent("""\
                #!/usr/bin/env bash
                printf '%s\\n' "$*" >> CALLS
                args=("$@")
                for ((i = 0; i < ${#args[@]}; i++)); do
                  if [ "${args[i]}" = -readpass ]; then stat -c 'password file %n %a' "${args[i+1]}" >> CALLS; fi
                done
                exec REAL "$@"
                """).replace("CALLS", cls.calls).replace("REAL", real))
        os.chmod(wrapper, 0o755)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="dist-", dir=self.work)
        self.exe = os.path.join(self.folder, "vexissetup.exe")
        shutil.copy(os.path.join(wh.current_leg().build_dir, "vexissetup.exe"), self.exe)
        if os.path.exists(self.calls):
            os.remove(self.calls)

    def sign(self, *extra, password=PASSWORD):
        env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"])
        env.pop("SIGN_PFX_PASSWORD", None)
        if password is not None:
            env["SIGN_PFX_PASSWORD"] = password
        return subprocess.run([SIGN, self.exe, "--pfx", self.pfx] + list(extra), env=env,
                              capture_output=True, text=True, timeout=120)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", path],
                              capture_output=True, text=True, timeout=60)

    # Tests signing: SHA-256, verified against the certificate, the password only in a private file
    # that is gone afterwards, and the signature removed again gives the unsigned build byte for byte.
    def test_signed_file_verifies(self):
        unsigned = sha256(self.exe)
        result = self.sign()
        self.assertEqual(result.returncode, 0, result.stderr)
        check = self.verify(self.exe)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn("Message digest algorithm  : SHA256", check.stdout)
        self.assertIn("Subject: /CN=Vexis test publisher", check.stdout)

        with open(self.calls) as f:
            calls = f.read()
        self.assertNotIn(PASSWORD, calls)
        self.assertIn("-h sha256", calls)
        password_files = [line.split()[2:] for line in calls.splitlines() if line.startswith("password file ")]
        self.assertTrue(password_files, calls)
        for path, mode in password_files:
            self.assertEqual(mode, "600")
            self.assertFalse(os.path.exists(path), path)
        self.assertEqual(os.listdir(self.folder), ["vexissetup.exe"])

        restored = os.path.join(self.work, "restored.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", self.exe, "-out", restored],
                       check=True, capture_output=True)
        self.assertEqual(sha256(restored), unsigned)

    # Tests that an unsigned file and a signed file changed afterwards fail verification.
    def test_unsigned_and_altered_files_fail(self):
        self.assertNotEqual(self.verify(self.exe).returncode, 0)
        self.assertEqual(self.sign().returncode, 0)
        with open(self.exe, "r+b") as f:
            f.seek(0x600)
            byte = f.read(1)
            f.seek(0x600)
            f.write(bytes([byte[0] ^ 0xFF]))
        check = self.verify(self.exe)
        self.assertNotEqual(check.returncode, 0, check.stdout)

    # Tests the failures: each ends with an error, names its cause and leaves the exe as it was.
    def test_failures_leave_the_file_alone(self):
        before = sha256(self.exe)
        cases = [
            ((), None, "SIGN_PFX_PASSWORD is not set"),
            ((), "wrong password", "wrong password"),
            # Nothing listens on the discard port of the loopback address.
            (("--timestamp", "http://127.0.0.1:9/"), PASSWORD, "could not sign"),
        ]
        for extra, password, message in cases:
            with self.subTest(message):
                result = self.sign(*extra, password=password)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
                self.assertEqual(sha256(self.exe), before)
                self.assertEqual(os.listdir(self.folder), ["vexissetup.exe"])

    # Tests that the signed exe still starts under Wine: the help box, then exit 0.
    def test_signed_exe_shows_help_under_wine(self):
        self.assertEqual(self.sign().returncode, 0)
        self.assertTrue(os.stat(self.exe).st_mode & stat.S_IXUSR)
        session = wh.session()
        session.reset()
        run = session.run(self.exe, ["-help"])
        box = run.wait_box()
        run.screenshot("signed_help")
        self.assertEqual(box.caption, HELP_CAPTION, box)
        run.press(wh.IDOK)
        self.assertEqual(run.wait_exit().code, 0)


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe")
