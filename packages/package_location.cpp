#include "packages/package_location.h"

#include <cstddef>

#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

// The current directory may change size between the two reads; a few rounds
// settle that, and a bound keeps an unattended run from spinning.
constexpr int kCurrentDirectoryReads = 4;

bool IsDotName(const WString& name) { return !name.empty() && name[0] == u'.'; }

bool IsDirectory(const platform::FindData& entry) {
  return (entry.attributes & platform::kFileAttributeDirectory) != 0;
}

// The name ends in ".msi", letters compared without regard to case.
bool IsPackageName(const WString& name) {
  constexpr std::u16string_view kExtension = u".msi";
  return name.size() >= kExtension.size() &&
         EqualIgnoringAsciiCase(std::u16string_view(name).substr(name.size() - kExtension.size()),
                                kExtension);
}

}  // namespace

std::uint32_t ReadCurrentDirectory(WString& directory) {
  // The size query gives the length with its terminator. The directory is
  // read at that length, never into a fixed buffer, so a package tree under
  // a path longer than 259 characters is still found by its whole path.
  std::uint32_t size = platform::GetWorkingDirectory(0, nullptr);
  for (int round = 0; round < kCurrentDirectoryReads; ++round) {
    if (size == 0) return winerror::NonZeroCode(platform::GetLastError(), winerror::kGenFailure);
    WString buffer(size, char16_t(0));
    const std::uint32_t copied = platform::GetWorkingDirectory(size, &buffer[0]);
    if (copied == 0) return winerror::NonZeroCode(platform::GetLastError(), winerror::kGenFailure);
    if (copied < size) {
      buffer.resize(copied);
      directory = buffer;
      return 0;
    }
    // The directory grew between the two reads: copied is the new size.
    size = copied;
  }
  return winerror::kGenFailure;
}

std::uint32_t FindPackageFile(WString pattern, WString& fullPath) {
  platform::FindData folder;
  platform::FindHandle folders = platform::FindFirstEntry(u"*", folder);
  if (!folders) return winerror::kNoData;
  do {
    if (!IsDirectory(folder) || IsDotName(folder.name)) continue;
    platform::FindData match;
    const platform::FindHandle matches =
        platform::FindFirstEntry(folder.name + u"\\" + pattern, match);
    if (!matches) continue;
    // A folder named like the package, or a file of another kind, is passed
    // over; the search goes on in this folder, then in the next.
    bool found = false;
    do {
      found = !IsDirectory(match) && IsPackageName(match.name);
    } while (!found && platform::FindNextEntry(matches.get(), match));
    if (!found) continue;
    WString directory;
    const std::uint32_t read = ReadCurrentDirectory(directory);
    if (read != 0) return read;
    fullPath = directory + u"\\" + folder.name + u"\\" + match.name;
    // Windows Installer takes package paths into buffers of MAX_PATH units;
    // Wine's msi.dll overruns its stack with a longer one and crashes the
    // caller. The path is refused here, before anything is handed over.
    return fullPath.size() > platform::kMaxPathLength ? winerror::kFilenameExcedRange : 0;
  } while (platform::FindNextEntry(folders.get(), folder));
  return winerror::kNoData;
}

WindowsArchitecture DetectWindowsArchitecture(Wow64Lookup& lookup) {
  // The x64 build runs on 64-bit Windows only: nothing to ask.
  if (platform::IsProcess64Bit()) return WindowsArchitecture::k64BitProcess;
  if (!lookup.lookedUp) {
    const platform::RawHandle kernel32 = platform::FindLoadedModule(u"kernel32");
    // Without kernel32 nothing is settled: the next call looks again.
    if (kernel32 == 0) return WindowsArchitecture::k32Bit;
    lookup.isWow64Process = platform::FindIsWow64Process(kernel32);
    lookup.lookedUp = true;
  }
  if (!lookup.isWow64Process) return WindowsArchitecture::k32Bit;
  // Asked every time: the answer belongs to this process, not to Windows.
  bool wow64 = false;
  if (platform::CallIsWow64Process(lookup.isWow64Process, wow64) && wow64)
    return WindowsArchitecture::kWow64;
  return WindowsArchitecture::k32Bit;
}

WString ArchitecturePattern(WindowsArchitecture architecture) {
  return architecture == WindowsArchitecture::k32Bit ? u"*win32*" : u"*x64*";
}
