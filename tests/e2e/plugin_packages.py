"""Plug-in packages for the end-to-end tests and the demo, built with wixl.

Every family (upgrade code and product codes) is made fresh from a name, so
scenarios never share installed products: Wine's msi deletes a whole family's
UpgradeCodes key when any member is uninstalled.
"""

import os
import subprocess
import uuid

_NAMESPACE = uuid.UUID("5d0c4a52-6f1e-4c39-9a3e-7b1f2c9d8e01")


def guid(*parts):
    """A stable GUID in braces, upper case, made from the given words."""
    return "{%s}" % str(uuid.uuid5(_NAMESPACE, "/".join(str(p) for p in parts))).upper()


class Family:
    """A product family: one upgrade code; product codes by name."""

    def __init__(self, name):
        self.name = name
        self.upgrade_code = guid(name, "upgrade")

    def product_code(self, label="1"):
        return guid(self.name, "product", label)


def build_package(path, family, version, product_label="1", arch="x64",
                  schedule_reboot=False, fail=False, feature="NPVEXIS", major_upgrade=False):
    """Builds a plug-in package at path and returns its product code.

    schedule_reboot: the package asks for a restart (msiexec exits 3010).
    fail: a launch condition that is always false (msiexec exits 1603).
    major_upgrade: the package removes older members of its family.
    """
    product_code = family.product_code(product_label)
    component = guid(family.name, "component", product_label, arch)
    win64 = "yes" if arch == "x64" else "no"
    reboot = ('<InstallExecuteSequence><ScheduleReboot After="InstallFinalize"/>'
              '</InstallExecuteSequence>') if schedule_reboot else ""
    upgrade = '<MajorUpgrade DowngradeErrorMessage="A newer version is installed."/>' if major_upgrade else ""
    condition = ('<Condition Message="This test package never installs.">0</Condition>'
                 if fail else "")
    wxs = f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code}" Name="Norvix Browser plug-in ({family.name})" Language="1033"
           Version="{version}" Manufacturer="Norvix" UpgradeCode="{family.upgrade_code}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    {condition}
    {upgrade}
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Component Id="Main" Guid="{component}" Win64="{win64}">
        <RegistryValue Root="HKLM" Key="Software\\NorvixTest\\{family.name}" Name="Version"
                       Value="{version}" Type="string" KeyPath="yes"/>
      </Component>
    </Directory>
    <Feature Id="{feature}" Level="1"><ComponentRef Id="Main"/></Feature>
    {reboot}
  </Product>
</Wix>
"""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    wxs_path = path + ".wxs"
    with open(wxs_path, "w", encoding="utf-8") as f:
        f.write(wxs)
    subprocess.run(["wixl", "-a", "x64" if arch == "x64" else "x86", "-o", path, wxs_path],
                   check=True, capture_output=True)
    os.remove(wxs_path)
    return product_code


def packed_guid(code):
    """The form of a product code that Windows Installer's registry keys are named by."""
    hex_digits = code.strip("{}").replace("-", "")
    first = hex_digits[:8][::-1] + hex_digits[8:12][::-1] + hex_digits[12:16][::-1]
    rest = "".join(hex_digits[i + 1] + hex_digits[i] for i in range(16, 32, 2))
    return first + rest
