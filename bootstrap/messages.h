// The Russian string table of the program's own module, fetched by id.
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

// A message box with no owner window, whose text and caption are messages;
// the box and its answer go to the run log. Returns the answer (0 when the
// box could not be shown).
int ShowMessage(std::uint16_t textId, std::uint16_t captionId, std::uint32_t style);

// The same for a text built from a message (a message with a code or a path
// added): shown under caption `captionId` (0: no caption) and logged as box
// `messageId`.
int ShowMessageText(std::uint16_t messageId, const WString& text, std::uint16_t captionId,
                    std::uint32_t style);

// ShowMessage unless silent; a silent run shows no box and logs none. For
// the boxes whose answer does not matter (errors and notices). The flag comes
// first, and the arguments must have exactly these types: the template below
// takes every other combination and is deleted, so that a flag and an id
// passed in each other's place do not compile.
void ShowMessageUnlessSilent(bool silent, std::uint16_t textId, std::uint16_t captionId,
                             std::uint32_t style);
template <typename Silent, typename TextId, typename CaptionId, typename Style>
void ShowMessageUnlessSilent(Silent, TextId, CaptionId, Style) = delete;
