// Ids of the string table (resources/strings.rc). Each is the constant of the
// code that shows it; none is computed.
#pragma once

#include <cstdint>

namespace msg {
constexpr std::uint16_t kNotAdministrator = 101;
constexpr std::uint16_t kConfirmCsp = 102;
constexpr std::uint16_t kConfirmPlugin = 103;
constexpr std::uint16_t kCaption = 104;
constexpr std::uint16_t kProviderFailed = 105;
constexpr std::uint16_t kPluginFailed = 106;
constexpr std::uint16_t kRestartCsp = 107;
constexpr std::uint16_t kRestartPlugin = 108;
constexpr std::uint16_t kBrowserCsp = 109;
constexpr std::uint16_t kBrowserPlugin = 110;
constexpr std::uint16_t kRestartFailed = 111;
constexpr std::uint16_t kWindowsTooOld = 116;
constexpr std::uint16_t kWindows2000NeedsSp4 = 117;
constexpr std::uint16_t kWindowsXpNeedsSp2 = 118;
constexpr std::uint16_t kWindows2003NeedsSp2 = 119;
constexpr std::uint16_t kVersionUnreadable = 121;
constexpr std::uint16_t kConfirmUcsp = 122;
constexpr std::uint16_t kRestartUcsp = 123;
constexpr std::uint16_t kBrowserUcsp = 124;
constexpr std::uint16_t kConfirmBoth = 125;
constexpr std::uint16_t kRestartBoth = 126;
constexpr std::uint16_t kBrowserBoth = 127;
constexpr std::uint16_t kUpdateCaption = 128;
constexpr std::uint16_t kErrorCaption = 129;
constexpr std::uint16_t kInstalledVersionUnreadable = 131;
// 133 and 139 stay in the table but are no longer shown: the package is found
// and read once, and a package that cannot be found or read gives 151.
constexpr std::uint16_t kPackageVersionUnreadable = 134;
constexpr std::uint16_t kHideOptions = 142;
constexpr std::uint16_t kShowOptions = 143;
constexpr std::uint16_t kEnvironmentUnreadable = 144;
constexpr std::uint16_t kReinstallQuestion = 147;
constexpr std::uint16_t kNewerInstalled = 150;
constexpr std::uint16_t kProductCodeUnreadable = 151;
constexpr std::uint16_t kSystemDirectoryUnreadable = 152;
// A file the bootstrapper's publisher did not sign is not started: %1 is its
// path, %2 the verification's code.
constexpr std::uint16_t kFileNotTrusted = 153;
// The waiting window's text while another installation holds Windows
// Installer; its caption is kCaption.
constexpr std::uint16_t kWaitingForInstaller = 154;
// A signature that this Windows cannot check at all (SHA-256 on XP SP2 and
// on Server 2003 without its update): %1 is the file's path, %2 the code.
constexpr std::uint16_t kSignatureNotCheckable = 155;
// The waiting window's text while another run of this program holds the
// program's own mutex.
constexpr std::uint16_t kWaitingForOtherSetup = 156;
// Its text while another installation holds Windows Installer during the
// csp and the ucsp provider's step.
constexpr std::uint16_t kWaitingForCsp = 157;
constexpr std::uint16_t kWaitingForUcsp = 158;
}  // namespace msg
