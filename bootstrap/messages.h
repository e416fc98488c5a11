// The Russian string table of the program's own module, fetched by id, and
// what a step asks the run to show from it.
#pragma once

#include <cstdint>

#include "platform/platform.h"
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

// What a box adds to its message: the code and the installer's log (105,
// 106: ": <code>.\n", "Install log: <path>" when something is there); or a
// path and the code for %1 and %2 (153, the code as 0x800B0100).
enum class Insert { kNone, kCodeAndLog, kPathAndCode };

// A box that a step below setup/ asks the run for: nothing below setup/
// shows one. setup/ shows it unless the run is silent (and the box not one
// shown regardless), and logs it with its answer.
struct Notice {
  std::uint16_t message = 0;  // the string table id; 0: no box
  std::uint16_t caption = 0;  // the caption's id; 0: an empty caption
  std::uint32_t style = 0;
  Insert insert = Insert::kNone;
  std::uint32_t code = 0;
  WString path;
  bool evenWhenSilent = false;  // a box that -silent does not suppress
};

// The box of `message` under `caption`, an error box unless style says else.
Notice NoticeOf(std::uint16_t message, std::uint16_t caption,
                std::uint32_t style = platform::kMbIconError);

// The error box of a failing installer: `message` with the code and the log.
Notice FailureNotice(std::uint16_t message, std::uint16_t caption, std::uint32_t code,
                     const WString& logPath);

// What a step below setup/ returns: its code (0: the run goes on) and the
// box it asks for, if any (also with 0: a failure the run survives).
// refused: a file the publisher check refused, never started; its box (153)
// is the whole report of the failure.
struct StepResult {
  std::uint32_t code = 0;
  Notice notice;
  bool refused = false;
};
