#include "bootstrap/messages.h"

#include "platform/platform.h"

namespace {

constexpr unsigned kEntriesPerBlock = 16;

std::uint16_t ReadUnit(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Finds the block of `id` in the program's own module and walks it to the
// entry. neutralLanguage picks the lookup: FindResourceExW with language 0
// when asking whether the module holds the message, FindResourceW for loading.
bool FindEntry(std::uint16_t id, bool neutralLanguage, const std::uint8_t** text,
               std::uint16_t* count) {
  const std::uint8_t* block = nullptr;
  std::uint32_t size = 0;
  if (!platform::FindOwnResource(platform::kResourceString,
                              static_cast<std::uint16_t>(id / kEntriesPerBlock + 1),
                              neutralLanguage, &block, &size))
    return false;
  std::uint32_t offset = 0;
  if (!FindBlockEntry(block, size, id % kEntriesPerBlock, &offset, count)) return false;
  *text = block + offset;
  return true;
}

}  // namespace

bool FindBlockEntry(const std::uint8_t* block, std::uint32_t size, unsigned index,
                    std::uint32_t* offset, std::uint16_t* count) {
  std::uint32_t at = 0;
  for (unsigned skipped = 0; skipped < index; ++skipped) {
    if (at + 2 > size) return false;
    at += 2 + 2u * ReadUnit(block + at);
  }
  if (at + 2 > size) return false;
  const std::uint16_t length = ReadUnit(block + at);
  // An entry whose count runs past the block is treated as missing rather
  // than read beyond the resource.
  if (length == 0 || at + 2 + 2u * length > size) return false;
  *offset = at + 2;
  *count = length;
  return true;
}

bool LoadMessage(std::uint16_t id, WString& target) {
  const std::uint8_t* text = nullptr;
  std::uint16_t count = 0;
  // The program has exactly one resource module, its own executable.
  if (!FindEntry(id, true, &text, &count)) return false;
  if (!FindEntry(id, false, &text, &count)) return false;
  WString loaded;
  loaded.reserve(count);
  for (std::uint16_t i = 0; i < count; ++i) loaded.push_back(ReadUnit(text + 2 * i));
  target = loaded;
  return true;
}

Notice FailureNotice(std::uint16_t message, std::uint16_t caption, std::uint32_t code,
                     const WString& logPath) {
  Notice notice = NoticeOf(message, caption);
  notice.insert = Insert::kCodeAndLog;
  notice.code = code;
  notice.path = logPath;
  return notice;
}

Notice NoticeOf(std::uint16_t message, std::uint16_t caption, std::uint32_t style) {
  Notice notice;
  notice.message = message;
  notice.caption = caption;
  notice.style = style;
  return notice;
}
