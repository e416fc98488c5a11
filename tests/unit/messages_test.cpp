// The string table as compiled into the program, and the loader's rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_world.h"

namespace {

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

// Tests that the caption loads exactly, with no terminator counted.
TEST_F(MessagesTest, LoadsCaptionExactly) {
  WString text;
  ASSERT_TRUE(LoadMessage(msg::kCaption, text));
  EXPECT_EQ(text, u"Норвикс ЭЦП Browser plug-in");
  EXPECT_EQ(text.size(), 27u);
}

// Tests that line breaks stay single characters 10.
TEST_F(MessagesTest, KeepsLineBreaks) {
  WString text;
  ASSERT_TRUE(LoadMessage(msg::kRestartCsp, text));
  EXPECT_EQ(text,
            u"Норвикс ЭЦП Browser plug-in и CSP успешно установлены.\nДля корректной работы "
            u"Норвикс ЭЦП Browser plug-in и CSP необходимо перезагрузить компьютер.\nПроизвести "
            u"перезагрузку сейчас?");
}

// Tests that an empty slot of an existing block and a missing block leave the
// target exactly as it was.
TEST_F(MessagesTest, MissingEntriesLeaveTargetUnchanged) {
  for (std::uint16_t id : {115, 132, 200, 0, 65535}) {
    WString text = u"previous";
    EXPECT_FALSE(LoadMessage(id, text)) << id;
    EXPECT_EQ(text, u"previous") << id;
  }
}

// Tests that a shorter message replaces the whole of a longer text.
TEST_F(MessagesTest, ReplacesLongerText) {
  WString text(500, u'x');
  ASSERT_TRUE(LoadMessage(msg::kErrorCaption, text));
  EXPECT_EQ(text, u"Ошибка");
}

// Tests that the table holds exactly the program's ids, in Russian, in blocks 7 to 10.
TEST_F(MessagesTest, CompiledTableHoldsEveryIdInRussian) {
  const std::vector<std::uint16_t> ids = {
      101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 116, 117, 118, 119, 121, 122, 123,
      124, 125, 126, 127, 128, 129, 131, 133, 134, 139, 142, 143, 144, 147, 150, 151, 152, 153, 154,
      155, 156, 157, 158};
  int present = 0;
  for (unsigned id = 0; id < 16 * 16; ++id) {
    WString text;
    if (LoadMessage(static_cast<std::uint16_t>(id), text)) {
      ++present;
      EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << "unexpected id " << id;
    }
  }
  EXPECT_EQ(present, static_cast<int>(ids.size()));
  for (const auto& r : sim::ReadResources(VEXIS_RES_PATH)) {
    if (r.type != 6) continue;
    EXPECT_EQ(r.language, 1049) << "block " << r.name;
    EXPECT_GE(r.name, 7);
    EXPECT_LE(r.name, 10);
  }
}

// Tests a table of texts that administrators' documents quote.
TEST_F(MessagesTest, TextsAsQuoted) {
  const struct {
    std::uint16_t id;
    const char16_t* text;
  } kData[] = {
      {101, u"Программа должна быть запущена от имени администратора."},
      {105, u"В процессе установки Норвикс CSP возникла ошибка"},
      {116, u"Установка продукта не возможна на ОС старше Windows 2000."},
      {127, u"Норвикс ЭЦП Browser plug-in, CSP и UCSP успешно установлены.\nДля корректной "
            u"работы Норвикс ЭЦП Browser plug-in, CSP и УЭК CSP может потребоваться "
            u"перезапустить браузер."},
      {147, u"Эта версия Норвикс ЭЦП Browser plug-in уже установлена. Переустановить?"},
      {152, u"Невозможно узнать путь системной директории."},
  };
  for (const auto& row : kData) {
    WString text;
    ASSERT_TRUE(LoadMessage(row.id, text));
    EXPECT_EQ(text, row.text) << row.id;
  }
}

// Tests that the loader asks for the neutral language first, then the default.
TEST_F(MessagesTest, LooksUpBlockTwice) {
  WString text;
  ASSERT_TRUE(LoadMessage(msg::kCaption, text));
  EXPECT_EQ(sim::CallCount("FindResourceExW"), 1);
  EXPECT_EQ(sim::CallCount("FindResourceW"), 1);
  sim::FailCall("FindResourceW", 1813);
  text = u"kept";
  EXPECT_FALSE(LoadMessage(msg::kCaption, text));
  EXPECT_EQ(text, u"kept");
}

std::vector<std::uint8_t> Block(const std::vector<std::vector<char16_t>>& entries) {
  std::vector<std::uint8_t> out;
  for (const auto& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.size()));
    out.push_back(static_cast<std::uint8_t>(e.size() >> 8));
    for (char16_t c : e) {
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  return out;
}

// Tests the block walk at its edges: short blocks, counts that run past the end.
TEST(BlockWalkTest, StopsAtTheEndOfTheBlock) {
  std::uint32_t offset = 0;
  std::uint16_t count = 0;
  const auto block = Block({{u'a'}, {}, {u'b', u'c'}});
  EXPECT_TRUE(FindBlockEntry(block.data(), static_cast<std::uint32_t>(block.size()), 0, &offset, &count));
  EXPECT_EQ(offset, 2u);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(FindBlockEntry(block.data(), static_cast<std::uint32_t>(block.size()), 1, &offset, &count));
  EXPECT_TRUE(FindBlockEntry(block.data(), static_cast<std::uint32_t>(block.size()), 2, &offset, &count));
  EXPECT_EQ(offset, 8u);
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(FindBlockEntry(block.data(), static_cast<std::uint32_t>(block.size()), 3, &offset, &count));
  EXPECT_FALSE(FindBlockEntry(block.data(), 0, 0, &offset, &count));
  const std::uint8_t liar[] = {0xFF, 0x7F, 'x', 0};  // count far beyond the block
  EXPECT_FALSE(FindBlockEntry(liar, sizeof liar, 0, &offset, &count));
  EXPECT_FALSE(FindBlockEntry(liar, sizeof liar, 1, &offset, &count));
  const std::uint8_t odd[] = {1};
  EXPECT_FALSE(FindBlockEntry(odd, sizeof odd, 0, &offset, &count));
}

}  // namespace
