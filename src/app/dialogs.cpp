#include "app/dialogs.h"

#include <algorithm>

#include "app/application.h"
#include "app/sjis.h"

namespace app {
namespace {

// Spacing in dialog units of the font, as the desktop's own boxes are laid out: horizontal units
// are a quarter of the average character width, vertical ones an eighth of the character height.
constexpr int kHorzMargin = 8, kVertMargin = 8, kVertSpacing = 10, kButtonWidth = 50, kButtonHeight = 14;

int ShowAndFree(TMessageForm* box) {
  struct FreeBox {
    TMessageForm* box;
    ~FreeBox() { Free(box); }
  } free_box{box};
  return box->ShowModal();
}

}  // namespace

TMessageForm::TMessageForm(TComponent* AOwner, const std::string& text) : TForm(AOwner) {
  Name = "MessageForm";
  SetBorderStyle(bsDialog);
  ScreenCenter = true;
  Caption = App().Title;

  TCanvas& canvas = Canvas();
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const int char_width = std::max((canvas.TextWidth(alphabet) / 26 + 1) / 2, 1);
  const int char_height = std::max(canvas.TextHeight(alphabet), 1);
  auto horz = [&](int units) { return units * char_width / 4; };
  auto vert = [&](int units) { return units * char_height / 8; };

  Message = new TLabel(this);
  Message->Name = "Message";
  Message->SetParent(this);
  Message->SetCaption(text);
  Message->Left = horz(kHorzMargin);
  Message->Top = vert(kVertMargin);

  OKButton = new TButton(this);
  OKButton->Name = "OK";
  OKButton->SetParent(this);
  OKButton->SetCaption("OK");
  OKButton->Default = true;
  OKButton->Cancel = true;
  OKButton->ModalResult = mrOk;
  OKButton->TabOrder = 0;
  const int button_width = horz(kButtonWidth), button_height = vert(kButtonHeight);

  ClientWidth = std::max(Message->Width, button_width) + 2 * horz(kHorzMargin);
  ClientHeight = Message->Top + Message->Height + vert(kVertSpacing) + button_height + vert(kVertMargin);
  OKButton->SetBounds((ClientWidth - button_width) / 2, Message->Top + Message->Height + vert(kVertSpacing),
                      button_width, button_height);
}

void ShowMessage(const std::string& Msg) {
  ShowAndFree(new TMessageForm(Application, Msg));
}

void UseErrorBox(TApplication& application) {
  application.ShowExceptionHandler = [](const std::string& message) {
    static bool showing = false;
    if (showing) return;
    showing = true;
    struct Reset {
      ~Reset() { showing = false; }
    } reset;
    // The desktop's error box ends a message with a full stop.
    std::string text = message;
    if (!text.empty()) {
      std::size_t last = 0;
      for (std::size_t pos = 0; pos < text.size(); pos += Cp932CharLength(text, pos)) last = pos;
      if (static_cast<unsigned char>(text[last]) > '.') text += '.';
    }
    try {
      auto* box = new TMessageForm(Application, text);
      box->Name = "ErrorForm";
      box->IdleWhileModal = false;
      ShowAndFree(box);
    } catch (const std::exception&) {
      // Already on standard error; a box that cannot be shown must not take the program down.
    }
  };
}

}  // namespace app
