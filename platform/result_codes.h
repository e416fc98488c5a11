// The Windows and Windows Installer result codes that the system gives,
// judges or relies on, each named once. The names leave out the ERROR_
// prefix and live in a namespace of their own, so that they cannot clash
// with the macros of the Windows headers. Each comment gives the Windows
// name and what the code means here. The program's own exit codes 1 to 7
// are not Windows codes: they are defined where the run decides them.
#pragma once

#include <cstdint>

namespace winerror {

// The code of a step that failed, or `whenZero` when the step gave none: a
// failure must never read as success (0).
constexpr std::uint32_t NonZeroCode(std::uint32_t code, std::uint32_t whenZero) {
  return code != 0 ? code : whenZero;
}

// ---------------------------------------------------------------------------
// Windows.

// ERROR_FILE_NOT_FOUND: among others, no object of that name (Windows
// Installer's mutex when no installation has run since Windows started).
constexpr std::uint32_t kFileNotFound = 2;
// ERROR_NOT_ENOUGH_MEMORY: the command line could not be split and the system
// gave no code; and the exe's end when memory runs out.
constexpr std::uint32_t kNotEnoughMemory = 8;
// ERROR_NO_MORE_FILES: FindNextFileW at the end of a search.
constexpr std::uint32_t kNoMoreFiles = 18;
// ERROR_GEN_FAILURE: the current directory could not be read and the system
// gave no code.
constexpr std::uint32_t kGenFailure = 31;
// ERROR_FILE_EXISTS: a new log file's name is taken (the next is tried); when
// all five names of an installer's log are taken, the exit code: nothing was
// started.
constexpr std::uint32_t kFileExists = 80;
// ERROR_INVALID_PARAMETER: LoadLibraryExW refuses LOAD_LIBRARY_SEARCH_SYSTEM32
// where the loader predates it.
constexpr std::uint32_t kInvalidParameter = 87;
// ERROR_OPEN_FAILED: Windows Installer could not open the package (a damaged
// or partly copied file); passed up as the exit code.
constexpr std::uint32_t kOpenFailed = 110;
// ERROR_INSUFFICIENT_BUFFER: the system directory does not fit its buffer.
constexpr std::uint32_t kInsufficientBuffer = 122;
// ERROR_MOD_NOT_FOUND: msi.dll could not be loaded and the loader gave no code.
constexpr std::uint32_t kModNotFound = 126;
// ERROR_PROC_NOT_FOUND: a function looked up at run time (an msi.dll ordinal,
// the registry's delete function) is missing.
constexpr std::uint32_t kProcNotFound = 127;
// ERROR_ALREADY_EXISTS: what some systems give for a taken name instead of 80.
constexpr std::uint32_t kAlreadyExists = 183;
// ERROR_ENVVAR_NOT_FOUND: an environment variable (TMP, WINDIR) is not set or
// is empty.
constexpr std::uint32_t kEnvVarNotFound = 203;
// ERROR_FILENAME_EXCED_RANGE: the package path is longer than the 259
// characters Windows Installer takes.
constexpr std::uint32_t kFilenameExcedRange = 206;
// ERROR_NO_DATA: used as "no plug-in package found" in the subfolders.
constexpr std::uint32_t kNoData = 232;
// ERROR_MORE_DATA: the answer to a size query, or a value that grew between
// the size query and the read.
constexpr std::uint32_t kMoreData = 234;
// ERROR_NO_MORE_ITEMS: no related product installed; no row in a view.
constexpr std::uint32_t kNoMoreItems = 259;
// ERROR_FILE_INVALID: a program started from the path of the file held and
// checked turned out to run another file (a link re-pointed after the
// check); it is ended before it runs, and this is the exit code.
constexpr std::uint32_t kFileInvalid = 1006;
// ERROR_NOT_ALL_ASSIGNED: AdjustTokenPrivileges succeeded, but the account
// does not hold the privilege.
constexpr std::uint32_t kNotAllAssigned = 1300;
// ERROR_INTERNAL_ERROR: the exe's end where the C++ library would throw a
// logic error, which no input can cause.
constexpr std::uint32_t kInternalError = 1359;

// ---------------------------------------------------------------------------
// Windows Installer.

// ERROR_INSTALL_USEREXIT: the user declined the reinstallation or cancelled
// an installer.
constexpr std::uint32_t kInstallUserExit = 1602;
// ERROR_INSTALL_ALREADY_RUNNING: another installation holds Windows
// Installer; the exit code when the wait for it, or for another run of this
// program, ran out (a fleet tool retries), and an installer's own answer that
// sets off another wait.
constexpr std::uint32_t kInstallAlreadyRunning = 1618;
// ERROR_UNKNOWN_PRODUCT: the product is not installed.
constexpr std::uint32_t kUnknownProduct = 1605;
// ERROR_INSTALL_PACKAGE_INVALID: used as "the package has no ProductVersion
// to compare with the installed one".
constexpr std::uint32_t kInstallPackageInvalid = 1620;
// ERROR_FUNCTION_FAILED: stands in for a failure whose own code came out as
// 0, so that a failed step can never be mistaken for success.
constexpr std::uint32_t kFunctionFailed = 1627;
// ERROR_INVALID_COMMAND_LINE: a command line with an argument that is not
// understood; the run ends with it, nothing examined or installed.
constexpr std::uint32_t kInvalidCommandLine = 1639;
// ERROR_SUCCESS_REBOOT_INITIATED: installed; the installer started a restart.
constexpr std::uint32_t kSuccessRebootInitiated = 1641;
// ERROR_SUCCESS_REBOOT_REQUIRED: installed; a restart is needed.
constexpr std::uint32_t kSuccessRebootRequired = 3010;
// ERROR_SUCCESS_RESTART_REQUIRED: installed; a restart is needed.
constexpr std::uint32_t kSuccessRestartRequired = 3011;

// ---------------------------------------------------------------------------
// Authenticode (WinVerifyTrust). These are HRESULTs, with the high bit set,
// so that they never read as a Windows error code or an exit code of 0 to
// 0x7FFFFFFF.

// TRUST_E_SUBJECT_NOT_TRUSTED: a file signed by another publisher than the
// bootstrapper's; the exit code when such a file is not started.
constexpr std::uint32_t kTrustSubjectNotTrusted = 0x800B0004;
// TRUST_E_NOSIGNATURE: the file is not signed.
constexpr std::uint32_t kTrustNoSignature = 0x800B0100;
// TRUST_E_BAD_DIGEST: the file was changed after it was signed.
constexpr std::uint32_t kTrustBadDigest = 0x80096010;
// CERT_E_UNTRUSTEDROOT: the signer's chain ends in a root this Windows does
// not trust.
constexpr std::uint32_t kCertUntrustedRoot = 0x800B0109;
// CERT_E_CHAINING: the signer's chain cannot be built up to a root (an
// issuing certificate is missing).
constexpr std::uint32_t kCertChaining = 0x800B010A;
// CERT_E_EXPIRED: the signer's certificate has expired (and the signature
// has no time stamp of its validity).
constexpr std::uint32_t kCertExpired = 0x800B0101;
// TRUST_E_CERT_SIGNATURE: a certificate's own signature does not verify; on
// Windows Server 2003 and XP without their SHA-2 update, what a certificate
// signed with SHA-256 gets.
constexpr std::uint32_t kTrustCertSignature = 0x80096004;
// NTE_BAD_ALGID: a digest algorithm this Windows does not have (SHA-256 on
// Windows XP before SP3).
constexpr std::uint32_t kBadAlgorithm = 0x80090008;

}  // namespace winerror
