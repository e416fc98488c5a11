// The Russian string table of the program's own module, fetched by id, and
// what a step asks the run to show from it.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Loads message `id` into target. True when the id has a non-empty entry:
// target then holds exactly its text. False otherwise, with target unchanged.
bool LoadMessage(std::uint16_t id, WString& target);

// Walks a string-table block (16 entries, each a 16-bit count and that many
// UTF-16 units) to entry `index` (0..15). True when the entry lies inside the
// block with a non-zero count that fits in it; *offset is then the byte
// offset of its first unit and *count its length.
bool FindBlockEntry(const std::uint8_t* block, std::uint32_t size, unsigned index,
                    std::uint32_t* offset, std::uint16_t* count);

// What a box shows besides its message: nothing; the failing code and the
// installer's log after it (105, 106: "<message>: <code>.\n", then
// "Install log: <path>" when something is at path); or a file's path and the
// code in its place-holders (153: %1 and %2, the code as 0x800B0100).
enum class Insert { kNone, kCodeAndLog, kPathAndCode };

// A message box that a step below setup/ asks the run for. Nothing below
// setup/ shows a box: setup/ shows it (unless the run is silent and the box
// is not one shown regardless) and logs it with its answer.
struct Notice {
  std::uint16_t message = 0;  // the string table id; 0: no box
  std::uint16_t caption = 0;  // the caption's id; 0: an empty caption
  std::uint32_t style = 0;
  Insert insert = Insert::kNone;
  std::uint32_t code = 0;
  WString path;
  bool evenWhenSilent = false;  // a box that -silent does not suppress
};

// An error box (MB_ICONERROR) of `message` under `caption`.
Notice ErrorNotice(std::uint16_t message, std::uint16_t caption);

// What a step below setup/ tells the run: its code (0: the run goes on) and
// the box it asks for, if any (also with 0: a failure that the run survives).
struct StepResult {
  std::uint32_t code = 0;
  Notice notice;
};
