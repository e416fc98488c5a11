#!/usr/bin/env python3
"""Runs the Windows Installer tests (msi_api_tests.exe) under Wine.

Builds the scenario packages with wixl, each scenario its own product family
made fresh for this run (Wine's msi forgets a whole family when any member is
uninstalled, and a reused prefix keeps what earlier runs installed), writes
the manifest the test program reads, plants nothing itself (the stand-in
msi.dll is built into the program's folder) and runs the program through the
wine_harness.py session's prefix with msi=n,b, so that a "msi.dll" beside the
program is preferred wherever Wine's own search would take it. Like every
end-to-end script it runs once per leg (wine_harness.main): the program of the
i686 build through the wine launcher, the one of the x64 build under wine64.

Usage: msi_api_test.py [--build-dir DIR] [--prefix DIR] [-- gtest arguments]
The defaults are the leg's build folder and prefix (E2E_WINDOWS_BUILD_DIR,
E2E_WINDOWS_X64_BUILD_DIR, E2E_WINE_PREFIX). Exit code 0 when every test passed,
77 when the Windows build lacks the programs (1 under CI=true).
"""

import argparse
import os
import shutil
import subprocess
import sys
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness  # noqa: E402

LONG_LENGTH = 65536
DEEP_MIN_LENGTH = 300


def new_guid():
    return "{%s}" % str(uuid.uuid4()).upper()


def write_package(path, name, version, arch="x64", product_code=None, upgrade_code=None, extra=""):
    """Builds a small per-machine package with the feature NPVEXIS; returns its product code."""
    product_code = product_code or new_guid()
    upgrade_code = upgrade_code or new_guid()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    win64 = "yes" if arch == "x64" else "no"
    folder = "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"
    readme = path + ".txt"
    with open(readme, "w") as f:
        f.write("%s %s\n" % (name, version))
    wxs = f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code}" Name="Vexis msi api test {name}" Language="1033"
           Version="{version}" Manufacturer="Vexis tests" UpgradeCode="{upgrade_code}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="main.cab" EmbedCab="yes"/>
    {extra}
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{folder}">
        <Directory Id="INSTALLDIR" Name="VexisMsiApiTest-{name}">
          <Component Id="Main" Guid="{new_guid()}" Win64="{win64}">
            <File Id="Readme" Name="readme.txt" Source="{os.path.basename(readme)}" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="NPVEXIS" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
"""
    source = path + ".wxs"
    with open(source, "w", encoding="utf-8") as f:
        f.write(wxs)
    # wixl takes file sources relative to its working folder only.
    built = subprocess.run(["wixl", "-a", "x64" if arch == "x64" else "x86", "-o", path, source],
                           cwd=os.path.dirname(path), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=120)
    if built.returncode != 0:
        raise RuntimeError("wixl failed for %s: %s" % (path, built.stderr.decode("utf-8", "replace")))
    os.remove(source)
    os.remove(readme)
    return product_code


def build_scenarios(work):
    """Lays out the scenario folders under work; returns the manifest (key -> Windows text)."""
    win = wine_harness.to_windows_path
    run = uuid.uuid4().hex[:8]
    m = {}

    # An installed package, read back from its own folder.
    upgrade = new_guid()
    package = os.path.join(work, "same", "plugin", "vexiscom_x64.msi")
    m["same.product"] = write_package(package, "same-" + run, "2.0.9999", upgrade_code=upgrade)
    m["same.upgrade"] = upgrade
    m["same.package"] = win(package)
    m["same.dir"] = win(os.path.join(work, "same"))

    # 2.0.9999 installed, 2.0.10000 offered under the same product code.
    upgrade = new_guid()
    old = os.path.join(work, "upgrade-old", "plugin", "vexiscom_x64.msi")
    m["upgrade.product"] = write_package(old, "upgrade-" + run, "2.0.9999", upgrade_code=upgrade)
    m["upgrade.old_package"] = win(old)
    new = os.path.join(work, "upgrade", "plugin", "vexiscom_x64.msi")
    write_package(new, "upgrade-" + run, "2.0.10000", product_code=m["upgrade.product"],
                  upgrade_code=upgrade)
    m["upgrade.dir"] = win(os.path.join(work, "upgrade"))

    # Nothing of the family installed.
    absent = os.path.join(work, "absent", "plugin", "vexiscom_x64.msi")
    m["absent.product"] = write_package(absent, "absent-" + run, "1.0.0")
    m["absent.dir"] = win(os.path.join(work, "absent"))

    # Both architectures in one folder.
    upgrade = new_guid()
    folder = os.path.join(work, "arch", "plugin")
    m["arch.win32_product"] = write_package(os.path.join(folder, "vexiscom_win32.msi"), "arch-" + run,
                                            "1.0.0", arch="x86", upgrade_code=upgrade)
    m["arch.x64_product"] = write_package(os.path.join(folder, "vexiscom_x64.msi"), "arch-" + run,
                                          "1.0.0", upgrade_code=upgrade)
    m["arch.dir"] = win(os.path.join(work, "arch"))

    # A property of 64 KiB.
    long_package = os.path.join(work, "long", "plugin", "vexiscom_x64.msi")
    write_package(long_package, "long-" + run, "1.0.0",
                  extra='<Property Id="VEXISLONG" Value="%s"/>' % ("x" * LONG_LENGTH))
    m["long.package"] = win(long_package)
    m["long.length"] = str(LONG_LENGTH)

    # A file named like a package that is none.
    broken = os.path.join(work, "broken", "plugin", "vexiscom_x64.msi")
    os.makedirs(os.path.dirname(broken))
    with open(broken, "w") as f:
        f.write("not a Windows Installer package\n")
    m["broken.dir"] = win(os.path.join(work, "broken"))

    # A package in the current directory itself, but no subfolder.
    empty = os.path.join(work, "empty")
    os.makedirs(empty)
    shutil.copy(package, os.path.join(empty, "vexiscom_x64.msi"))
    m["empty.dir"] = win(empty)

    # A current directory longer than 259 characters, with Cyrillic names.
    deep = os.path.join(work, "deep")
    while len(win(deep)) < DEEP_MIN_LENGTH:
        deep = os.path.join(deep, "глубокая_папка_установки")
    deep_package = os.path.join(deep, "plugin", "vexiscom_x64.msi")
    m["deep.product"] = write_package(deep_package, "deep-" + run, "1.0.0")
    m["deep.dir"] = win(deep)
    return m


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir")
    parser.add_argument("--prefix")
    parser.add_argument("gtest_args", nargs="*")
    args = parser.parse_args()
    leg = wine_harness.current_leg()
    build_dir = os.path.abspath(args.build_dir or leg.build_dir)
    prefix = os.path.abspath(args.prefix or leg.prefix)
    program = os.path.join(build_dir, "msi_api", "msi_api_tests.exe")
    for needed in (program, os.path.join(build_dir, "msi_api", "msi.dll"),
                   os.path.join(build_dir, "msi_api", "msi_plant_probe.exe")):
        if not os.path.isfile(needed):
            wine_harness.skip("%s is missing: build the Windows build first" % needed)

    work = os.path.join(build_dir, "msi_api", "work")
    shutil.rmtree(work, ignore_errors=True)
    manifest = build_scenarios(work)
    manifest_path = os.path.join(work, "manifest.txt")
    with open(manifest_path, "w", encoding="utf-8") as f:
        for key, value in sorted(manifest.items()):
            f.write("%s=%s\n" % (key, value))

    session = wine_harness.session(windows_build_dir=build_dir, prefix=prefix)
    session.reset()
    # Started with wine directly, not through runexit: Wine's loader reads
    # WINEDLLOVERRIDES from the Linux environment it starts with, and msi=n,b
    # must reach both this program and the probe it starts. Only 0 or not 0
    # matters here, which the low 8 bits of the code keep.
    env = session.wine_env({
        "VEXIS_MSI_MANIFEST": wine_harness.to_windows_path(manifest_path),
        "WINEDLLOVERRIDES": "msi=n,b;mscoree,mshtml=",
    })
    try:
        proc = subprocess.run([session.loader, program, "--gtest_color=no"] + args.gtest_args,
                              cwd=os.path.dirname(program), env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=900)
    except subprocess.TimeoutExpired as timed_out:
        sys.stdout.write((timed_out.stdout or b"").decode("utf-8", "replace"))
        sys.stdout.write("msi_api_tests.exe did not end within 900 s\n")
        return 1
    sys.stdout.write(proc.stdout.decode("utf-8", "replace"))
    if proc.returncode != 0:
        sys.stdout.write("msi_api_tests.exe exit %d\n%s\n" % (
            proc.returncode, proc.stderr.decode("utf-8", "replace")[-3000:]))
        return 1
    return 0


if __name__ == "__main__":
    wine_harness.main(run=main)
