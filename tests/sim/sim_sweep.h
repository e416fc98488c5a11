// Guards and helpers for running the whole program many times over on the
// simulated Windows: a cap on the number of seam calls of one test, so that
// a run that loops fails instead of hanging, and the fault sweep's scenarios.
#pragma once

#include <cstddef>

namespace sim {

// Thrown by the seam when a test has made more calls than its limit: the
// system's code never catches it, so it ends the run and fails the test.
struct CallLimitExceeded {
  std::size_t calls;
};

// The limit of every test unless it sets its own; Reset() restores it.
constexpr std::size_t kDefaultCallLimit = 100000;

// Sets the limit until the next Reset(), for a test that legitimately makes
// more calls (a tree of thousands of folders).
void SetCallLimit(std::size_t limit);

}  // namespace sim
