// The simulated Windows behind platform/platform.h. It behaves like Windows
// where the system depends on it: wildcard matching without regard to case,
// "." and ".." entries, GetLastError values, the two-call size protocols.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "bootstrap/run_log.h"
#include "platform/platform.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_sweep.h"
#include "tests/sim/sim_world.h"

namespace sim {
namespace {

World* g_world = nullptr;

// Bumped whenever the world is replaced or an entry is added through the
// helpers, so that the caches below never outlive what they describe.
std::uint64_t g_generation = 0;
std::size_t g_callLimit = kDefaultCallLimit;

// How often each seam function has been called, kept up to date from
// W().calls as it grows, so that a run of 100,000 calls does not rescan the
// whole log for every call.
struct CallCounts {
  std::uint64_t generation = ~std::uint64_t(0);
  std::size_t scanned = 0;
  std::unordered_map<std::string, int> counts;
};

CallCounts& Counts() {
  static CallCounts counts;
  const World& w = *g_world;
  // A test that trims the log by hand gets a fresh count.
  if (counts.generation != g_generation || counts.scanned > w.calls.size()) {
    counts = CallCounts();
    counts.generation = g_generation;
  }
  for (; counts.scanned < w.calls.size(); ++counts.scanned) ++counts.counts[w.calls[counts.scanned]];
  return counts;
}

// The entries by folded path and by folded parent, in `entries` order. Valid
// while the generation, the size and the storage of `entries` are unchanged:
// the helpers bump the generation, and erasing or adding entries by hand
// changes the size.
struct EntryIndex {
  std::uint64_t generation = ~std::uint64_t(0);
  const World::Entry* data = nullptr;
  std::size_t size = 0;
  std::unordered_map<WString, std::size_t> byPath;
  std::unordered_map<WString, std::vector<std::size_t>> byParent;
  std::unordered_map<std::uint64_t, std::size_t> byId;
};

EntryIndex& Index() {
  static EntryIndex index;
  const auto& entries = W().entries;
  if (index.generation == g_generation && index.data == entries.data() &&
      index.size == entries.size())
    return index;
  index = EntryIndex();
  index.generation = g_generation;
  index.data = entries.data();
  index.size = entries.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    index.byPath.emplace(Fold(entries[i].path), i);
    index.byParent[Fold(ParentOf(entries[i].path))].push_back(i);
    index.byId.emplace(entries[i].id, i);
  }
  return index;
}

char16_t FoldUnit(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c - u'A' + u'a');
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);  // А-Я
  if (c == 0x0401) return 0x0451;                                          // Ё
  return c;
}

bool Match(const char16_t* p, const char16_t* pe, const char16_t* n, const char16_t* ne) {
  while (p != pe) {
    if (*p == u'*') {
      while (p != pe && *p == u'*') ++p;
      if (p == pe) return true;
      for (const char16_t* k = n; k <= ne; ++k)
        if (Match(p, pe, k, ne)) return true;
      return false;
    }
    if (n == ne) return false;
    if (*p != u'?' && FoldUnit(*p) != FoldUnit(*n)) return false;
    ++p;
    ++n;
  }
  return n == ne;
}

}  // namespace

WString Fold(const WString& text) {
  WString out = text;
  for (auto& c : out) c = FoldUnit(c);
  return out;
}

bool SameText(const WString& a, const WString& b) { return Fold(a) == Fold(b); }

bool WildcardMatch(const WString& pattern, const WString& name) {
  return Match(pattern.data(), pattern.data() + pattern.size(), name.data(),
               name.data() + name.size());
}

World& W() {
  if (!g_world) Reset();
  return *g_world;
}

void Reset() {
  static std::map<std::uint16_t, std::vector<std::uint8_t>> compiled =
      ReadStringBlocks(VEXIS_RES_PATH);
  static std::vector<std::uint8_t> versionInfo = [] {
    for (auto& r : ReadResources(VEXIS_RES_PATH))
      if (r.type == platform::kResourceVersion && r.name == 1) return r.data;
    return std::vector<std::uint8_t>();
  }();
  // A run log the previous test left open is closed in its own world.
  if (g_world != nullptr) CloseRunLog();
  delete g_world;
  g_world = new World();
  ++g_generation;
  g_callLimit = kDefaultCallLimit;
  g_world->stringBlocks = compiled;
  g_world->versionInfo = versionInfo;
  g_world->environment[u"TMP"] = u"C:\\Users\\op\\AppData\\Local\\Temp";
  g_world->environment[u"WINDIR"] = u"C:\\Windows";
  AddFolder(u"C:\\dist");
  AddFolder(u"C:\\Users\\op\\AppData\\Local\\Temp");
  AddFile(g_world->modulePath);  // the program itself, unsigned unless a test signs it
  ResetInternals();
}

bool Enter(const char* call) {
  World& w = W();
  // A run that loops through the seam ends the test instead of the machine.
  if (w.calls.size() >= g_callLimit) throw CallLimitExceeded{w.calls.size()};
  w.calls.emplace_back(call);
  const int seen = Counts().counts[call];
  for (const auto& f : w.faults) {
    if (f.call == call && (f.occurrence == 0 || f.occurrence == seen)) {
      w.lastError = f.code;
      return false;
    }
  }
  return true;
}

std::uint32_t FaultCode(const char* call) {
  const World& w = W();
  const auto it = Counts().counts.find(call);
  const int seen = it == Counts().counts.end() ? 0 : it->second;
  for (const auto& f : w.faults)
    if (f.call == call && (f.occurrence == 0 || f.occurrence == seen)) return f.code;
  return 0;
}

void SetCallLimit(std::size_t limit) { g_callLimit = limit; }

platform::RawHandle NewHandle(platform::HandleKind kind) {
  World& w = W();
  const platform::RawHandle h = w.nextHandle;
  w.nextHandle += 4;
  w.openHandles[h] = kind;
  ++w.handlesOpened;
  return h;
}

bool IsOpen(platform::RawHandle handle, platform::HandleKind kind) {
  const auto it = W().openHandles.find(handle);
  return it != W().openHandles.end() && it->second == kind;
}

WString ParentOf(const WString& path) {
  const auto slash = path.rfind(u'\\');
  if (slash == WString::npos) return WString();
  if (slash == 2 && path.size() > 1 && path[1] == u':') return path.substr(0, 3);
  return path.substr(0, slash);
}

WString LeafOf(const WString& path) { return FileNamePart(path); }

bool IsDriveRoot(const WString& path) {
  return path.size() == 3 && path[1] == u':' && path[2] == u'\\';
}

// The path with every junction on the way replaced by its target, as the
// file system resolves it.
WString ResolveJunctions(WString path) {
  const auto& junctions = W().junctions;
  const auto& mountPoints = W().mountPoints;
  if (junctions.empty() && mountPoints.empty()) return path;
  // A bound, as Windows bounds reparse points: a loop of junctions ends.
  for (int round = 0; round < 32; ++round) {
    bool replaced = false;
    for (std::size_t end = 0; end <= path.size(); ++end) {
      if (end != path.size() && path[end] != u'\\') continue;
      const WString prefix = Fold(path.substr(0, end));
      const auto junction = junctions.find(prefix);
      const auto mount = mountPoints.find(prefix);
      if (junction == junctions.end() && mount == mountPoints.end()) continue;
      path = (junction != junctions.end() ? junction->second : mount->second.volume) + path.substr(end);
      replaced = true;
      break;
    }
    if (!replaced) return path;
  }
  return path;
}

// Windows takes a run of backslashes inside a path as one (a TMP ending in
// a backslash gives C:\Temp\\x.log); a UNC path's leading two stay.
WString CollapseBackslashes(const WString& path) {
  WString out;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (!(i > 1 && path[i] == u'\\' && out.back() == u'\\')) out += path[i];
  // A folder named with a backslash at its end is the folder (a drive's root
  // keeps it).
  if (out.size() > 3 && out.back() == u'\\') out.pop_back();
  return out;
}

// The full path as written, no link resolved; \\?\ (\\?\UNC\) names the same.
WString FullPath(const WString& path) {
  if (path.compare(0, 8, u"\\\\?\\UNC\\") == 0) return u"\\\\" + path.substr(8);
  if (path.compare(0, 4, u"\\\\?\\") == 0 && path.size() > 5 && path[5] == u':') return path.substr(4);
  if ((path.size() >= 2 && path[1] == u':') || (!path.empty() && path[0] == u'\\'))
    return CollapseBackslashes(path);
  const WString& cwd = W().currentDirectory;
  return CollapseBackslashes(cwd + (!cwd.empty() && cwd.back() == u'\\' ? u"" : u"\\") + path);
}

WString Absolute(const WString& path) { return ResolveJunctions(FullPath(path)); }

bool RefusedBeyondMaxPath(const WString& path, std::uint32_t error) {
  // MAX_PATH (260) counts the terminator; a drive or a junction may lead to a longer real path.
  if (path.compare(0, 4, u"\\\\?\\") == 0 || FullPath(path).size() < 260) return false;
  W().lastError = error;
  return true;
}

const World::Entry* FindEntry(const WString& path) {
  const EntryIndex& index = Index();
  const auto it = index.byPath.find(Fold(path));
  return it == index.byPath.end() ? nullptr : &W().entries[it->second];
}

const World::Entry* EntryById(std::uint64_t id) {
  const EntryIndex& index = Index();
  const auto it = index.byId.find(id);
  return it == index.byId.end() ? nullptr : &W().entries[it->second];
}

void EntriesChanged() { ++g_generation; }

std::vector<const World::Entry*> ChildrenOf(const WString& directory) {
  std::vector<const World::Entry*> children;
  const EntryIndex& index = Index();
  const auto it = index.byParent.find(Fold(directory));
  if (it != index.byParent.end())
    for (const std::size_t i : it->second) children.push_back(&W().entries[i]);
  return children;
}

bool DirectoryExists(const WString& path) {
  if (IsDriveRoot(path)) return true;
  const World::Entry* e = FindEntry(path);
  return e && e->directory;
}

void AddEntry(const WString& path, bool directory) {
  const WString parent = ParentOf(path);
  if (!parent.empty() && !IsDriveRoot(parent) && !FindEntry(parent)) AddEntry(parent, true);
  if (FindEntry(path)) return;
  // The index follows the addition, so that building a tree of thousands of
  // entries does not rebuild it for each one.
  EntryIndex& index = Index();
  auto& entries = W().entries;
  entries.push_back({path, directory, W().nextFileId++});
  index.byPath.emplace(Fold(path), entries.size() - 1);
  index.byParent[Fold(parent)].push_back(entries.size() - 1);
  index.byId.emplace(entries.back().id, entries.size() - 1);
  index.data = entries.data();
  index.size = entries.size();
}

void AddFolder(const WString& path) { AddEntry(path, true); }
void AddFile(const WString& path) { AddEntry(path, false); }

bool FileExists(const WString& path) { return FindEntry(ResolveJunctions(path)) != nullptr; }

void PointJunction(const WString& path, const WString& target) {
  if (!FindEntry(path)) AddFolder(path);
  W().junctions[Fold(path)] = target;
}

void PointMountPoint(const WString& path, const WString& volume) {
  if (!FindEntry(path)) AddFolder(path);
  W().mountPoints[Fold(path)] = {path, volume};
}

WString DosPath(const WString& path) {
  for (const auto& mount : W().mountPoints) {
    const WString& volume = mount.second.volume;
    if (Fold(path).compare(0, volume.size(), Fold(volume)) == 0 &&
        (path.size() == volume.size() || path[volume.size()] == u'\\'))
      return mount.second.path + path.substr(volume.size());
  }
  return path;
}

void PlantFile(const WString& path, const std::string& bytes) {
  AddFile(path);
  W().fileContents[Fold(path)] = bytes;
}

std::string FileContents(const WString& path) {
  const auto it = W().fileContents.find(Fold(path));
  return it == W().fileContents.end() ? std::string() : it->second;
}

std::vector<std::string> FileLines(const WString& path) {
  std::string text = FileContents(path);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void AddPackage(const WString& path, const std::map<WString, WString>& properties) {
  AddFile(path);
  W().packages[Fold(path)].properties = properties;
}

void InstallProduct(const WString& productCode, const Product& product) {
  World& w = W();
  if (!w.products.count(productCode)) w.productOrder.push_back(productCode);
  w.products[productCode] = product;
}

void FailCall(const std::string& call, std::uint32_t code, int occurrence) {
  W().faults.push_back({call, occurrence, code});
}

int CallCount(const std::string& call) {
  return static_cast<int>(std::count(W().calls.begin(), W().calls.end(), call));
}

std::vector<Resource> ReadResources(const std::string& resPath) {
  std::vector<Resource> out;
  std::ifstream in(resPath, std::ios::binary);
  std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                      (static_cast<std::uint32_t>(b[at + 3]) << 24));
  };
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); };
  std::size_t at = 0;
  while (at + 8 <= b.size()) {
    const std::uint32_t dataSize = u32(at);
    const std::uint32_t headerSize = u32(at + 4);
    if (headerSize < 16 || at + headerSize + dataSize > b.size()) break;
    std::size_t p = at + 8;
    Resource r;
    auto readId = [&](std::uint16_t& id, WString& name) {
      if (u16(p) == 0xFFFF) {
        id = u16(p + 2);
        p += 4;
      } else {
        while (u16(p) != 0) {
          name.push_back(u16(p));
          p += 2;
        }
        p += 2;
      }
    };
    readId(r.type, r.typeName);
    readId(r.name, r.nameText);
    p = (p + 3) & ~std::size_t(3);
    r.language = u16(p + 6);
    r.data.assign(b.begin() + at + headerSize, b.begin() + at + headerSize + dataSize);
    if (dataSize != 0 || r.type != 0) out.push_back(std::move(r));
    at = (at + headerSize + dataSize + 3) & ~std::size_t(3);
  }
  return out;
}

std::map<std::uint16_t, std::vector<std::uint8_t>> ReadStringBlocks(const std::string& resPath) {
  std::map<std::uint16_t, std::vector<std::uint8_t>> blocks;
  for (auto& r : ReadResources(resPath))
    if (r.type == 6 && r.typeName.empty()) blocks[r.name] = r.data;
  return blocks;
}

}  // namespace sim
