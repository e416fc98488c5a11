// Fuzzes the string-table walk with arbitrary blocks: whatever the counts
// say, nothing is read outside the block (AddressSanitizer watches the exact
// heap copy), and an entry reported as found lies wholly inside it, with a
// non-zero count, where a plain second walk puts it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bootstrap/messages.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// The walk once more, in 64-bit arithmetic so that it cannot wrap.
bool Model(const std::vector<std::uint8_t>& block, unsigned index, std::uint64_t& offset,
           std::uint64_t& count) {
  std::uint64_t at = 0;
  for (unsigned i = 0; i <= index; ++i) {
    if (at + 2 > block.size()) return false;
    const std::uint64_t n = block[at] | (block[at + 1] << 8);
    if (i == index) {
      if (n == 0 || at + 2 + 2 * n > block.size()) return false;
      offset = at + 2;
      count = n;
      return true;
    }
    at += 2 + 2 * n;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact heap copy: one byte too far is an overflow the sanitizer sees.
  const std::vector<std::uint8_t> block(data, data + size);
  const std::uint8_t* base = block.empty() ? nullptr : block.data();
  const std::uint32_t length = static_cast<std::uint32_t>(block.size());
  for (unsigned index = 0; index < 16; ++index) {
    std::uint32_t offset = 0xDEADBEEF;
    std::uint16_t count = 0xBEEF;
    const bool found = FindBlockEntry(base, length, index, &offset, &count);
    std::uint64_t expectedOffset = 0;
    std::uint64_t expectedCount = 0;
    Check(found == Model(block, index, expectedOffset, expectedCount), "found differs");
    if (!found) continue;
    Check(count != 0, "empty entry reported");
    Check(offset >= 2 && offset % 2 == 0, "offset not after a count");
    Check(std::uint64_t(offset) + 2u * count <= length, "entry runs past the block");
    Check(offset == expectedOffset && count == expectedCount, "entry not where the walk puts it");
    // Touch every unit of the entry: the sanitizer checks them.
    volatile std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < 2u * count; ++i) sum = sum + base[offset + i];
  }
  return 0;
}
