#pragma once
// Drives forms on the headless backend as a player would: keys, typed text and mouse clicks go
// to a form's window as events, and a script acts on modal forms whenever the program waits.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/forms.h"
#include "platform/headless/headless_platform.h"

namespace testing_support {

class FormDriver {
 public:
  explicit FormDriver(platform::HeadlessPlatform& platform) : platform_(platform) {}
  ~FormDriver();

  // Posts events to the form's window; the program handles them when it next looks.
  void Key(app::TForm& form, std::uint16_t vk, bool shift = false, bool ctrl = false, bool alt = false);
  void KeyDownOnly(app::TForm& form, std::uint16_t vk, bool shift = false, bool ctrl = false, bool alt = false);
  void Type(app::TForm& form, const std::string& utf8);
  void Compose(app::TForm& form, const std::string& utf8, int cursor);
  void Click(app::TForm& form, int x, int y);
  // The left button's parts of a click or a drag, in the form's own pixels; `clicks` counts the
  // presses of a double click as the desktop does.
  void MouseDown(app::TForm& form, int x, int y, bool shift = false, int clicks = 1);
  void MouseMove(app::TForm& form, int x, int y);
  void MouseUp(app::TForm& form, int x, int y);
  void Click(app::TControl& control);
  void CloseBox(app::TForm& form);

  // Steps run in order whenever the program waits (in a modal loop or a network wait); a step
  // returns true when it has done its part. With no step left and a modal form still waiting
  // for a long while, the test fails and the application is told to end, so nothing hangs.
  void Then(std::function<bool()> step);
  bool Done() const { return steps_.empty(); }
  // From now on every message box that opens is recorded (its text) and closed with Enter,
  // before any step runs.
  void AnswerAllMessages(std::vector<std::string>& record);

 private:
  void OnWait();

  platform::HeadlessPlatform& platform_;
  std::deque<std::function<bool()>> steps_;
  int idle_waits_ = 0;
  std::vector<std::string>* record_ = nullptr;
  std::uint32_t answered_window_ = 0;
};

// The message box now open (the application's modal form, when it is one), or null.
app::TForm* OpenMessageBox();
std::string MessageText(app::TForm& box);

}  // namespace testing_support
