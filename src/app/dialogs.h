#pragma once
// The modal message box, and the box that reports an exception which left an event handler.
#include <string>

#include "app/forms.h"
#include "app/stdctrls.h"

namespace app {

// A box with the application's title as caption, a text whose "\r" start new lines, and one OK
// button; Enter, Space and Escape close it as well.
class TMessageForm : public TForm {
 public:
  TMessageForm(TComponent* AOwner, const std::string& text);

  TLabel* Message;
  TButton* OKButton;
};

// Shows the text (CP932) in the message box and returns when the box is closed.
void ShowMessage(const std::string& Msg);

// The application's exceptions are shown in the message box as well as on standard error. While
// one error box is open, further errors go to standard error only, and the frame timer rests.
void UseErrorBox(TApplication& application);

}  // namespace app
