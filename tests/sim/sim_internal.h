// Pieces shared by the files of the simulated Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/sim/sim_world.h"

namespace sim {

// Records the call and applies an injected failure: false when the call is
// to fail (lastError then holds the fault's code).
bool Enter(const char* call);
// The code of the fault that applies to the latest call of `call`, or 0.
std::uint32_t FaultCode(const char* call);

platform::RawHandle NewHandle(platform::HandleKind kind);
bool IsOpen(platform::RawHandle handle, platform::HandleKind kind);

WString Fold(const WString& text);
bool SameText(const WString& a, const WString& b);
WString ParentOf(const WString& path);
WString LeafOf(const WString& path);
bool IsDriveRoot(const WString& path);
// A full path, relative ones taken from the current directory, with every
// junction on the way resolved as the file system resolves it.
WString Absolute(const WString& path);
WString ResolveJunctions(WString path);
// The name Windows gives a file of a volume without a drive letter: through
// the mount point the volume is mounted at now (else the path as it is).
WString DosPath(const WString& path);
bool DirectoryExists(const WString& path);
const World::Entry* FindEntry(const WString& path);
const World::Entry* EntryById(std::uint64_t id);
// After entries were changed by hand (renamed, removed): the indexes are rebuilt.
void EntriesChanged();
// The entries directly inside a folder, in `entries` order (the order the
// search yields); found through an index, not by scanning every entry.
std::vector<const World::Entry*> ChildrenOf(const WString& directory);

// State that lives with handles (search results, key paths, package paths,
// child exit codes); cleared by Reset().
void ResetInternals();

struct Resource {
  std::uint16_t type = 0;
  WString typeName;
  std::uint16_t name = 0;
  WString nameText;
  std::uint16_t language = 0;
  std::vector<std::uint8_t> data;
};
std::vector<Resource> ReadResources(const std::string& resPath);

}  // namespace sim
