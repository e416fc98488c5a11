"""scripts/sign on a copy of the real vexissetup.exe, with a code-signing
certificate made for this run only: the signature verifies against that
certificate, an unsigned or altered file does not, the password never shows on
a command line, a failure leaves the file as it was, and the signed exe still
runs under Wine (the help box, exit 0). A signed distribution: the signed exe
starts only packages and provider setups that its own publisher signed.

Run by ctest (label e2e), or by hand:
    E2E_WINDOWS_BUILD_DIR=build/windows E2E_WINE_PREFIX=build/native/wine/prefix \\
        E2E_SCREENSHOT_DIR=build/native/screenshots python3 tests/e2e/test_signing.py -v
"""

import glob
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
import plugin_packages as pp  # noqa: E402
import wine_harness as wh  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SIGN = os.path.join(ROOT, "scripts", "sign")
PASSWORD = "Пароль с пробелом $1"
HELP_CAPTION = "Справка"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def make_certificate(folder, name, subject):
    """A throwaway code-signing certificate: (its PEM file, its PKCS#12 file under PASSWORD)."""
    cert, pfx, key = (os.path.join(folder, name + extension) for extension in (".pem", ".pfx", ".key"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", subject, "-addext", "keyUsage=digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "env:SIGN_PFX_PASSWORD"], env=dict(os.environ, SIGN_PFX_PASSWORD=PASSWORD),
                   check=True, capture_output=True)
    return cert, pfx


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class SigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Below the prefix's folder, where the Wine programs of the signed runs can reach it. That
        # folder is made by the first session of the run, which may not have started yet.
        parent = os.path.dirname(wh.current_leg().prefix)
        os.makedirs(parent, exist_ok=True)
        cls.work = tempfile.mkdtemp(prefix="signing-", dir=parent)
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.cert, cls.pfx = make_certificate(cls.work, "signer", "/CN=Vexis test publisher")
        cls.other_cert, cls.other_pfx = make_certificate(cls.work, "other", "/CN=Another publisher")
        # The same subject as the publisher's, another key: what anyone can make.
        cls.lookalike_cert, cls.lookalike_pfx = make_certificate(cls.work, "look-alike", "/CN=Vexis test publisher")
        der = subprocess.run(["openssl", "x509", "-in", cls.cert, "-outform", "DER"], check=True,
                             capture_output=True).stdout
        cls.fingerprint = hashlib.sha256(der).hexdigest()
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

    def sign(self, *extra, password=PASSWORD, path=None, pfx=None):
        env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"])
        env.pop("SIGN_PFX_PASSWORD", None)
        if password is not None:
            env["SIGN_PFX_PASSWORD"] = password
        return subprocess.run([SIGN, path or self.exe, "--pfx", pfx or self.pfx] + list(extra), env=env,
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
        self.assertIn("warning: signed without --timestamp", result.stderr)
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

    # Tests a signed distribution under Wine, the exe, both packages and the provider's setup
    # signed with scripts/sign by a certificate whose root no store of the prefix holds (as on an
    # offline machine): one certificate throughout installs as an unsigned tree does, the provider
    # included, each file accepted as signed with the program's own certificate; a package of
    # another publisher, or a provider's setup changed after signing, is not started, nothing is
    # installed and the exit code says why. (Wine does not check an MSI's digest: a package
    # changed after signing still verifies there, so the changed file is a PE file.)
    def test_signed_distribution(self):
        session = wh.session()
        rows = [("one certificate", self.pfx, False, 0),
                ("a package of another publisher", self.other_pfx, False, 0x800B0109),
                ("a setup changed after signing", self.pfx, True, 0x80096010)]
        for name, package_pfx, change_setup, expected in rows:
            with self.subTest(name):
                session.reset()
                dist = os.path.join(self.folder, name.replace(" ", "-"))
                family = pp.Family("signed-%s-%s" % (name.replace(" ", "-"), os.path.basename(self.folder)))
                code = pp.build_package(os.path.join(dist, "x64", "vexiscom-x64.msi"), family, "2.0.1")
                pp.build_package(os.path.join(dist, "win32", "vexiscom-win32.msi"), family, "2.0.1",
                                 product_label="win32", arch="x86")
                setup = os.path.join(dist, "csp", "Setup.exe")
                os.makedirs(os.path.dirname(setup))
                shutil.copy(session.exe("provider_stub.exe"), setup)
                exe = os.path.join(dist, "vexissetup.exe")
                shutil.copy(self.exe, exe)
                warnings = []
                for path, pfx in ((exe, self.pfx), (setup, self.pfx),
                                  (os.path.join(dist, "win32", "vexiscom-win32.msi"), self.pfx),
                                  (os.path.join(dist, "x64", "vexiscom-x64.msi"), package_pfx)):
                    signed = self.sign(path=path, pfx=pfx)
                    self.assertEqual(signed.returncode, 0, signed.stderr)
                    warnings += [line for line in signed.stderr.splitlines() if "another certificate" in line]
                # scripts/sign names the files of the release that another certificate signed.
                self.assertEqual(len(warnings), 3 if package_pfx != self.pfx else 0, warnings)
                if change_setup:
                    with open(setup, "r+b") as f:
                        f.seek(0x600)
                        byte = f.read(1)
                        f.seek(0x600)
                        f.write(bytes([byte[0] ^ 0xFF]))
                temp = os.path.join(dist, "temp")
                os.makedirs(temp)
                run = session.run(exe, ["-silent", "-csp", "-VexisArgs", "/qn"], cwd=dist,
                                  env={"TMP": wh.to_windows_path(temp), "TEMP": wh.to_windows_path(temp)})
                run.assert_no_box()
                self.assertEqual(run.wait_exit().code, expected)
                installed = session.reg_query(UNINSTALL + "\\" + code, "DisplayVersion", view=64)
                self.assertEqual(installed, ("REG_SZ", "2.0.1") if expected == 0 else None)
                with open(glob.glob(os.path.join(temp, "vexissetup_*.log"))[0], encoding="utf-8-sig") as f:
                    log = f.read()
                self.assertIn("signature of this program: 0x800B0109 (its root is not trusted on this machine), "
                              "signer Vexis test publisher, certificate SHA-256 %s; the run goes on" % self.fingerprint,
                              log)
                if expected:
                    self.assertIn("refused: 0x%08X" % expected, log)
                else:
                    for label in ("csp", "plug-in package"):
                        self.assertIn("%s: accepted: same certificate as this program; its root is not trusted on "
                                      "this machine" % label, log)


    # Tests what an administrator sees of a package signed with a look-alike certificate (the
    # publisher's subject, another key, a root nobody trusts) in a signed distribution under a
    # folder whose name holds "%20" (as URL-decoding tools write it): the confirmation, then the
    # one refusal box with the package's path whole and the code in hex, nothing after it; no
    # question 147 although the same version is installed, and nothing read from the package (no
    # ProductCode in the run log).
    def test_refused_package_is_one_box(self):
        session = wh.session()
        session.reset()
        dist = os.path.join(self.folder, "dist%20b")
        family = pp.Family("signed-refusal-%s" % os.path.basename(self.folder))
        package = os.path.join(dist, "x64", "vexiscom-x64.msi")
        code = pp.build_package(package, family, "2.0.5")
        proc = session.run_wine(["msiexec", "/i", wh.to_windows_path(package), "/qn"], check=False)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        exe = os.path.join(dist, "vexissetup.exe")
        shutil.copy(self.exe, exe)
        for path, pfx in ((exe, self.pfx), (package, self.lookalike_pfx)):
            signed = self.sign(path=path, pfx=pfx)
            self.assertEqual(signed.returncode, 0, signed.stderr)
        temp = os.path.join(dist, "temp")
        os.makedirs(temp)
        run = session.run(exe, [], cwd=dist, env={"TMP": wh.to_windows_path(temp), "TEMP": wh.to_windows_path(temp)})
        box = run.wait_box()
        self.assertEqual(box.text, "Установить Норвикс ЭЦП Browser plug-in?")
        run.press(wh.IDYES)
        box = run.wait_box()
        run.screenshot("signed_refusal", box)
        self.assertEqual(box.text, "Файл не будет запущен: он не подписан издателем программы установки или "
                                   "изменён после подписания:\n%s\nКод ошибки: 0x800B0109." % wh.to_windows_path(package))
        self.assertEqual(box.caption, "Ошибка")
        run.press(wh.IDOK)
        run.assert_no_box()
        self.assertEqual(run.wait_exit().code, 0x800B0109)
        self.assertEqual(session.reg_query(UNINSTALL + "\\" + code, "DisplayVersion", view=64), ("REG_SZ", "2.0.5"))
        with open(glob.glob(os.path.join(temp, "vexissetup_*.log"))[0], encoding="utf-8-sig") as f:
            log = f.read()
        self.assertNotIn("ProductCode", log)
        self.assertNotIn("box 147", log)
        self.assertIn("another certificate than this program's", log)
        self.assertIn("exit code 2148204809: the plug-in package was refused", log)


if __name__ == "__main__":
    wh.main("vexissetup.exe", "runexit.exe", "boxhelper.exe", "provider_stub.exe")
