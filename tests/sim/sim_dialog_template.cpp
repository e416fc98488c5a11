// Reads a DIALOGEX template from the compiled .res, so that the simulated
// dialog has the very controls, texts, visibility and radio groups the exe
// is built with.
#include <cstddef>

#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_internal.h"

namespace sim {
namespace {

constexpr std::uint16_t kRtDialog = 5;
constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kBsTypeMask = 0xF;
constexpr std::uint32_t kBsAutoRadioButton = 0x9;

// A cursor over the template's bytes that never reads past the end: a
// truncated template reads as zeros and is then refused by `ok`.
struct Reader {
  const std::vector<std::uint8_t>& bytes;
  std::size_t at = 0;
  bool ok = true;

  std::uint32_t Byte() {
    if (at + 1 > bytes.size()) {
      ok = false;
      return 0;
    }
    return bytes[at++];
  }
  std::uint16_t U16() {
    const std::uint32_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
  }
  int S16() { return static_cast<std::int16_t>(U16()); }
  WString String() {
    WString text;
    for (std::uint16_t unit = U16(); ok && unit != 0; unit = U16()) text.push_back(unit);
    return text;
  }
  // sz_Or_Ord: 0xFFFF and an ordinal, or a zero-terminated string.
  WString StringOrOrdinal(std::uint16_t& ordinal) {
    ordinal = 0;
    if (at + 2 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) {
      U16();
      ordinal = U16();
      return WString();
    }
    return String();
  }
  void AlignTo4() { at = (at + 3) & ~std::size_t(3); }
};

// The predefined window classes of a template, by their atom.
WString ClassOfAtom(std::uint16_t atom) {
  switch (atom) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return u"#" + Widen(std::to_string(atom).c_str());
  }
}

// Window class names compare without case: a CONTROL line may spell the
// predefined class "BUTTON" where the short forms store its atom.
WString CanonicalClass(const WString& name) {
  for (std::uint16_t atom = 0x80; atom <= 0x85; ++atom)
    if (SameText(name, ClassOfAtom(atom))) return ClassOfAtom(atom);
  return name;
}

bool IsAutoRadio(const TemplateControl& control) {
  return control.windowClass == u"Button" && (control.style & kBsTypeMask) == kBsAutoRadioButton;
}

}  // namespace

DialogTemplate ReadDialogTemplate(std::uint16_t id) {
  DialogTemplate dialog;
  for (const Resource& resource : ReadResources(VEXIS_RES_PATH)) {
    if (resource.type != kRtDialog || !resource.typeName.empty() || resource.name != id ||
        !resource.nameText.empty())
      continue;
    Reader r{resource.data};
    const std::uint16_t version = r.U16();
    const std::uint16_t signature = r.U16();
    if (version != 1 || signature != 0xFFFF) return dialog;  // not a DIALOGEX
    r.U32();  // help id
    dialog.exStyle = r.U32();
    dialog.style = r.U32();
    const std::uint16_t count = r.U16();
    dialog.x = r.S16();
    dialog.y = r.S16();
    dialog.width = r.S16();
    dialog.height = r.S16();
    std::uint16_t ordinal = 0;
    dialog.menu = r.StringOrOrdinal(ordinal);
    dialog.windowClass = r.StringOrOrdinal(ordinal);
    dialog.caption = r.String();
    if (dialog.style & kDsSetFont) {
      dialog.pointSize = r.U16();
      dialog.weight = r.U16();
      dialog.italic = r.Byte() != 0;
      dialog.charset = static_cast<int>(r.Byte());
      dialog.typeface = r.String();
    }
    for (std::uint16_t i = 0; i < count && r.ok; ++i) {
      r.AlignTo4();
      TemplateControl control;
      r.U32();  // help id
      control.exStyle = r.U32();
      control.style = r.U32();
      control.x = r.S16();
      control.y = r.S16();
      control.width = r.S16();
      control.height = r.S16();
      control.id = r.U32();
      std::uint16_t atom = 0;
      control.windowClass = r.StringOrOrdinal(atom);
      control.windowClass = atom != 0 ? ClassOfAtom(atom) : CanonicalClass(control.windowClass);
      std::uint16_t textOrdinal = 0;
      control.text = r.StringOrOrdinal(textOrdinal);
      const std::uint16_t extra = r.U16();
      r.at += extra;
      dialog.controls.push_back(control);
    }
    if (!r.ok || dialog.controls.size() != count) return DialogTemplate();
    dialog.language = resource.language;
    dialog.found = true;
    return dialog;
  }
  return dialog;
}

std::map<std::uint32_t, Control> DialogTemplateControls() {
  std::map<std::uint32_t, Control> controls;
  // A group runs from a control with WS_GROUP (or the first control) up to
  // the next control with WS_GROUP; it is numbered by its first control's
  // position, so that the numbers are non-zero and distinct.
  int group = 0;
  int position = 0;
  for (const TemplateControl& item : ReadDialogTemplate(141).controls) {
    ++position;
    if (group == 0 || (item.style & kWsGroup)) group = position;
    Control control;
    control.text = item.text;
    control.visible = (item.style & kWsVisible) != 0;
    control.group = IsAutoRadio(item) ? group : 0;
    controls[item.id] = control;
  }
  return controls;
}

}  // namespace sim
