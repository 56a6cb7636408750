// Arbitrary typed, pasted and composed text, editing and selecting keys and mouse drags through a
// one-line edit. Whatever comes in, the edit holds only CP932 characters without control
// characters, never more than its MaxLength of them, and its caret and selection stay inside the
// text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/application.h"
#include "app/forms.h"
#include "app/sjis.h"
#include "app/stdctrls.h"
#include "platform/codec.h"
#include "platform/headless/headless_platform.h"

namespace {

struct Rig {
  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  app::TForm* form = new app::TForm(&application);
  app::TEdit* edit = new app::TEdit(form);

  Rig() {
    form->ClientWidth = 160;
    form->ClientHeight = 40;
    edit->SetParent(form);
    edit->SetBounds(8, 8, 89, 20);
    edit->MaxLength = 10;
    form->Show();
    edit->SetFocus();
  }
};

void Check(const app::TEdit& edit) {
  const std::string text = edit.Text();
  const std::vector<std::string> chars = app::Cp932Chars(text);
  if (static_cast<int>(chars.size()) > edit.MaxLength) std::abort();
  const int count = static_cast<int>(chars.size());
  if (edit.SelStart() < 0 || edit.SelLength() < 0 || edit.SelStart() + edit.SelLength() > count) std::abort();
  if (edit.CaretPos() != edit.SelStart() && edit.CaretPos() != edit.SelStart() + edit.SelLength()) std::abort();
  if (static_cast<int>(app::Cp932Chars(edit.SelText()).size()) != edit.SelLength()) std::abort();
  for (const std::string& c : chars) {
    const auto lead = static_cast<unsigned char>(c[0]);
    if (lead < 0x20 || lead == 0x7F) std::abort();
    // Every character reads back as one character of Unicode text.
    const std::string utf8 = platform::Cp932ToUtf8(c);
    if (utf8.find("\xEF\xBF\xBD") != std::string::npos) std::abort();
    auto back = platform::Utf8ToCp932(utf8);
    if (!back || *back != c) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = new Rig;
  app::TEdit& edit = *rig->edit;
  edit.SetText("");
  edit.TextEditing("", 0);
  // Chunks cut at zero bytes; a chunk's first byte says what it is.
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = 0; at < input.size();) {
    std::size_t end = input.find('\0', at);
    if (end == std::string::npos) end = input.size();
    const std::string chunk = input.substr(at, end - at);
    at = end + 1;
    if (chunk.empty()) continue;
    const std::string body = chunk.substr(1);
    switch (static_cast<unsigned char>(chunk[0]) % 5) {
      case 0:
        edit.TextInput(body);
        break;
      case 1:
        rig->platform.SetClipboardText(body);
        edit.PasteFromClipboard();
        break;
      case 2:
        edit.TextEditing(body, body.empty() ? 0 : static_cast<unsigned char>(body[0]) % 16);
        rig->form->Perform(app::WM_PAINT);
        edit.TextEditing("", 0);
        break;
      case 3:
        // A key a byte: its low bits choose it, its high bits hold Shift and Ctrl.
        for (unsigned char k : body) {
          static const std::uint16_t keys[] = {0x08, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2E,
                                               0x2D, 0x41, 0x43, 0x56, 0x58};
          std::uint16_t key = keys[(k & 0x3F) % 13];
          edit.KeyDown(key, ((k & 0x40) ? app::ssShift : 0u) | ((k & 0x80) ? app::ssCtrl : 0u));
        }
        break;
      default:
        // Two bytes a mouse event: its place, and which event with which keys.
        for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
          const int x = static_cast<signed char>(body[i]);
          const auto how = static_cast<unsigned char>(body[i + 1]);
          if (how % 3 == 0)
            edit.MouseDown(x, 10, ((how & 0x10) ? app::ssShift : 0u) | ((how & 0x20) ? app::ssDouble : 0u));
          else if (how % 3 == 1)
            edit.MouseMove(x, 10);
          else
            edit.MouseUp(x, 10);
        }
        break;
    }
    Check(edit);
  }
  rig->form->Perform(app::WM_PAINT);
  return 0;
}
