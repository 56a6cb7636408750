#include "support/form_driver.h"

#include <gtest/gtest.h>

#include "app/dialogs.h"

namespace testing_support {

FormDriver::~FormDriver() { platform_.OnWait = nullptr; }

namespace {
platform::Event KeyEvent(app::TForm& form, platform::EventType type, std::uint16_t vk, bool shift, bool ctrl,
                         bool alt) {
  platform::Event e;
  e.type = type;
  e.window = form.Handle().Id();
  e.vk = vk;
  e.shift = shift;
  e.ctrl = ctrl;
  e.alt = alt;
  return e;
}
}  // namespace

void FormDriver::Key(app::TForm& form, std::uint16_t vk, bool shift, bool ctrl, bool alt) {
  KeyDownOnly(form, vk, shift, ctrl, alt);
  platform_.PostEvent(KeyEvent(form, platform::EventType::KeyUp, vk, shift, ctrl, alt));
}

void FormDriver::KeyDownOnly(app::TForm& form, std::uint16_t vk, bool shift, bool ctrl, bool alt) {
  platform_.PostEvent(KeyEvent(form, platform::EventType::KeyDown, vk, shift, ctrl, alt));
}

void FormDriver::Type(app::TForm& form, const std::string& utf8) {
  platform::Event e;
  e.type = platform::EventType::TextInput;
  e.window = form.Handle().Id();
  e.text = utf8;
  platform_.PostEvent(e);
}

void FormDriver::Compose(app::TForm& form, const std::string& utf8, int cursor) {
  platform::Event e;
  e.type = platform::EventType::TextEditing;
  e.window = form.Handle().Id();
  e.text = utf8;
  e.x = cursor;
  e.y = 0;
  platform_.PostEvent(e);
}

namespace {
platform::Event MouseEvent(app::TForm& form, platform::EventType type, int x, int y) {
  platform::Event e;
  e.type = type;
  e.window = form.Handle().Id();
  e.x = x;
  e.y = y;
  e.button = 1;
  return e;
}
}  // namespace

void FormDriver::Click(app::TForm& form, int x, int y) {
  MouseDown(form, x, y);
  MouseUp(form, x, y);
}

void FormDriver::MouseDown(app::TForm& form, int x, int y, bool shift, int clicks) {
  platform::Event e = MouseEvent(form, platform::EventType::MouseDown, x, y);
  e.shift = shift;
  e.clicks = clicks;
  platform_.PostEvent(e);
}

void FormDriver::MouseMove(app::TForm& form, int x, int y) {
  platform_.PostEvent(MouseEvent(form, platform::EventType::MouseMove, x, y));
}

void FormDriver::MouseUp(app::TForm& form, int x, int y) {
  platform_.PostEvent(MouseEvent(form, platform::EventType::MouseUp, x, y));
}

void FormDriver::Click(app::TControl& control) {
  Click(*control.Parent(), control.Left + control.Width / 2, control.Top + control.Height / 2);
}

void FormDriver::CloseBox(app::TForm& form) {
  platform::Event e;
  e.type = platform::EventType::WindowClose;
  e.window = form.Handle().Id();
  platform_.PostEvent(e);
}

void FormDriver::Then(std::function<bool()> step) {
  steps_.push_back(std::move(step));
  platform_.OnWait = [this] { OnWait(); };
}

void FormDriver::AnswerAllMessages(std::vector<std::string>& record) {
  record_ = &record;
  platform_.OnWait = [this] { OnWait(); };
}

void FormDriver::OnWait() {
  if (record_) {
    if (app::TForm* box = OpenMessageBox(); box && box->Handle().Id() != answered_window_) {
      answered_window_ = box->Handle().Id();
      record_->push_back(MessageText(*box));
      Key(*box, 0x0D);
      return;
    }
  }
  if (!steps_.empty()) {
    idle_waits_ = 0;
    if (steps_.front()()) steps_.pop_front();
    return;
  }
  if (!app::Application || !app::Application->ModalForm()) return;
  if (++idle_waits_ == 100000) {
    ADD_FAILURE() << "a modal form is still open with nothing left for the test to do";
    app::Application->Terminate();
  }
}

app::TForm* OpenMessageBox() {
  return app::Application ? dynamic_cast<app::TMessageForm*>(app::Application->ModalForm()) : nullptr;
}

std::string MessageText(app::TForm& box) { return static_cast<app::TMessageForm&>(box).Message->Caption(); }

}  // namespace testing_support
