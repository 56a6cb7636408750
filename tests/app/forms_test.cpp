// Forms and their controls on the headless backend: windows, focus, editing, buttons, modal
// display and the message boxes.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/sjis.h"
#include "app/stdctrls.h"
#include "app/sysutils.h"
#include "platform/headless/headless_platform.h"
#include "support/form_driver.h"

namespace {

using testing_support::FormDriver;

enum : std::uint16_t {
  VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32, VK_END = 35, VK_HOME = 36,
  VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46, VK_V = 0x56,
};

// A dialog like the game's: a label, two edits and two buttons, placed by hand.
class SampleForm : public app::TForm {
 public:
  explicit SampleForm(app::TComponent* owner) : app::TForm(owner) {
    Caption = app::Sjis(u8"試験の窓");
    ScreenCenter = false;
    Left = 577;
    Top = 210;
    ClientWidth = 309;
    ClientHeight = 204;
    label = Add<app::TLabel>(8, 8, 0, 0);
    label->SetCaption("Name\rsecond line");
    edit = Add<app::TEdit>(72, 72, 89, 20);
    edit->MaxLength = 10;
    edit->TabOrder = 2;
    edit2 = Add<app::TEdit>(72, 104, 233, 20);
    edit2->TabOrder = 3;
    ok = Add<app::TButton>(48, 136, 97, 33);
    ok->SetCaption("OK");
    ok->TabOrder = 0;
    ok->OnClick = [this](app::TObject*) { clicks.push_back("ok"); };
    cancel = Add<app::TButton>(176, 136, 89, 33);
    cancel->SetCaption("Cancel");
    cancel->TabOrder = 1;
    cancel->Cancel = true;
    cancel->OnClick = [this](app::TObject*) { clicks.push_back("cancel"); };
  }

  template <class T>
  T* Add(int left, int top, int width, int height) {
    T* c = new T(this);
    c->SetParent(this);
    if (width > 0) c->SetBounds(left, top, width, height);
    c->Left = left;
    c->Top = top;
    return c;
  }

  app::TLabel* label;
  app::TEdit* edit;
  app::TEdit* edit2;
  app::TButton* ok;
  app::TButton* cancel;
  std::vector<std::string> clicks;
};

class FormsTest : public ::testing::Test {
 protected:
  FormsTest() : application(platform), driver(platform) {
    application.Title = app::Sjis(u8"ノルダース");
    form = new SampleForm(&application);
  }

  platform::HeadlessWindow& Window(app::TForm& f) { return *platform.FindWindow(f.Handle().Id()); }
  void Pump() { application.ProcessMessages(); }
  std::string Text(app::TEdit* e) { return e->Text(); }

  platform::HeadlessPlatform platform;
  app::TApplication application;
  FormDriver driver;
  SampleForm* form;
};

TEST_F(FormsTest, OpensAsItsOwnWindowWithItsPlaceCaptionFaceAndFirstControlFocused) {
  form->Show();
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  EXPECT_TRUE(w.Visible());
  EXPECT_EQ(w.Title(), app::Sjis(u8"試験の窓"));
  platform::WindowPlacement p = w.Placement();
  EXPECT_EQ(p.x, 577);
  EXPECT_EQ(p.y, 210);
  EXPECT_EQ(p.width, 309);
  EXPECT_EQ(p.height, 204);
  EXPECT_EQ(form->ActiveControl(), form->ok);  // tab order 0
  EXPECT_FALSE(w.TextInput());

  // The picture the window shows: the face, the white inside of a sunken edit, the bevels of
  // the buttons (the focused one in its black frame).
  ASSERT_EQ(w.ShownWidth(), 309);
  ASSERT_EQ(w.ShownHeight(), 204);
  EXPECT_EQ(w.ShownPixel(0, 0), 0xC0C0C0u);
  EXPECT_EQ(w.ShownPixel(72, 72), 0x808080u);       // edit: grey outer edge at the top left
  EXPECT_EQ(w.ShownPixel(72 + 88, 72 + 19), 0xFFFFFFu);  // white at the bottom right
  EXPECT_EQ(w.ShownPixel(73, 73), 0x000000u);       // dark inner edge
  EXPECT_EQ(w.ShownPixel(72 + 80, 72 + 10), 0xFFFFFFu);  // white inside
  EXPECT_EQ(w.ShownPixel(48, 136), 0x000000u);      // focused button: black frame
  EXPECT_EQ(w.ShownPixel(49, 137), 0xFFFFFFu);      // then its raised edge
  EXPECT_EQ(w.ShownPixel(176, 136), 0xFFFFFFu);     // the other button: raised edge only
  EXPECT_EQ(w.ShownPixel(176 + 88, 136 + 32), 0x000000u);
}

TEST_F(FormsTest, TabAndShiftTabFollowTheTabOrderPastDisabledControls) {
  form->Show();
  Pump();
  std::vector<app::TControl*> seen{form->ActiveControl()};
  for (int i = 0; i < 4; ++i) {
    driver.Key(*form, VK_TAB);
    Pump();
    seen.push_back(form->ActiveControl());
  }
  EXPECT_EQ(seen, (std::vector<app::TControl*>{form->ok, form->cancel, form->edit, form->edit2, form->ok}));

  form->cancel->SetEnabled(false);
  driver.Key(*form, VK_TAB, /*shift=*/true);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->edit2);
  driver.Key(*form, VK_TAB, true);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->edit);
  driver.Key(*form, VK_TAB, true);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->ok);  // the disabled one is passed over
}

TEST_F(FormsTest, TextInputIsOnOnlyWhileAnEditHasTheFocus) {
  form->Show();
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  driver.Click(*form->edit);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->edit);
  EXPECT_TRUE(w.TextInput());
  driver.Click(*form->label);  // labels take no focus
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->edit);
  driver.Click(*form->cancel);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->cancel);
  EXPECT_FALSE(w.TextInput());
  driver.Key(*form, VK_TAB);
  Pump();
  EXPECT_TRUE(w.TextInput());
  form->Hide();
  EXPECT_FALSE(w.TextInput());
}

TEST_F(FormsTest, EditKeysMoveTheCaretAndDeleteByCharacter) {
  form->Show();
  form->edit->SetFocus();
  Pump();
  app::TEdit* e = form->edit;
  struct Step {
    const char* what;
    std::function<void()> act;
    std::u8string text;
    int caret;
  };
  const std::vector<Step> steps = {
      {"type", [&] { driver.Type(*form, "ab日本"); }, u8"ab日本", 4},
      {"Home Delete", [&] { driver.Key(*form, VK_HOME); driver.Key(*form, VK_DELETE); }, u8"b日本", 0},
      {"End Backspace", [&] { driver.Key(*form, VK_END); driver.Key(*form, VK_BACK); }, u8"b日", 2},
      {"Left, type", [&] { driver.Key(*form, VK_LEFT); driver.Type(*form, "c"); }, u8"bc日", 2},
      {"Right past the end", [&] { for (int i = 0; i < 5; ++i) driver.Key(*form, VK_RIGHT); }, u8"bc日", 3},
      {"Up is Left", [&] { driver.Key(*form, VK_UP); }, u8"bc日", 2},
      {"Down is Right", [&] { driver.Key(*form, VK_DOWN); }, u8"bc日", 3},
      {"Left past the start, Backspace", [&] { for (int i = 0; i < 5; ++i) driver.Key(*form, VK_LEFT); driver.Key(*form, VK_BACK); }, u8"bc日", 0},
      {"Delete the kanji", [&] { driver.Key(*form, VK_END); driver.Key(*form, VK_LEFT); driver.Key(*form, VK_DELETE); }, u8"bc", 2},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    Pump();
    EXPECT_EQ(e->Text(), app::Sjis(s.text));
    EXPECT_EQ(e->SelStart(), s.caret);
  }
}

TEST_F(FormsTest, EditTakesOnlyWhatCp932HoldsAndNoControlCharacters) {
  form->Show();
  form->edit2->SetFocus();
  Pump();
  struct Case {
    const char* typed;
    std::u8string kept;
  };
  const Case cases[] = {
      {"a\tb\x7f" "c\r\nd", u8"abcd"},
      {"x\xF0\x9F\x98\x80y", u8"xy"},          // an emoji has no CP932 form
      {"caf\xC3\xA9", u8"caf"},                // nor has é
      {"\xEF\xBD\xB2\xEF\xBE\x9D", u8"ｲﾝ"},   // half-width katakana do
      {"\xE2\x80\x8B\xC2\x85z", u8"z"},        // zero-width space and a C1 control
      {"\xFF\xFEok\xE3\x81", u8"ok"},          // broken UTF-8
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    form->edit2->SetText("");
    driver.Type(*form, c.typed);
    Pump();
    EXPECT_EQ(form->edit2->Text(), app::Sjis(c.kept));
  }
}

TEST_F(FormsTest, MaxLengthCountsCharactersNotBytes) {
  form->Show();
  form->edit->SetFocus();
  Pump();
  driver.Type(*form, "一二三四五ｱｲｳｴｵ");  // ten characters, fifteen bytes
  driver.Type(*form, "六");
  Pump();
  EXPECT_EQ(form->edit->Text(), app::Sjis(u8"一二三四五ｱｲｳｴｵ"));
  driver.Key(*form, VK_HOME);
  driver.Key(*form, VK_DELETE);
  driver.Type(*form, "七八");  // room for one
  Pump();
  EXPECT_EQ(form->edit->Text(), app::Sjis(u8"七二三四五ｱｲｳｴｵ"));
}

TEST_F(FormsTest, SetTextFollowsTheRuleForTypedText) {
  // CP932 bytes set by the program into the edit of at most ten characters.
  using namespace std::string_literals;
  struct Case {
    std::string set;
    std::string kept;
  };
  const Case cases[] = {
      {"a\tb\x7f" "c\r\nd\0e"s, "abcde"},
      {"0123456789AB", "0123456789"},
      {app::Sjis(u8"一二三四五ｱｲｳｴｵ六"), app::Sjis(u8"一二三四五ｱｲｳｴｵ")},  // characters, not bytes
      {"\n\n\n\n\n\n\n\n\n\nabc", "abc"},        // what is dropped does not count
      {"x\x81\ny\xFF" "z", "xyz"},               // a lead byte with a line end, a byte CP932 lacks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.set));
    form->edit->SetText(c.set);
    EXPECT_EQ(form->edit->Text(), c.kept);
  }
}

TEST_F(FormsTest, PasteTakesTheClipboardUpToItsFirstLineBreak) {
  form->Show();
  form->edit2->SetFocus();
  Pump();
  struct Case {
    const char* clipboard;
    bool shift_insert;
    std::u8string text;
  };
  const Case cases[] = {
      {"名前\tです\r\nGET / HTTP/1.0", false, u8"名前です"},
      {"one\ntwo", true, u8"one"},
      {"\r\nnothing on the first line", false, u8""},
      {"", true, u8""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clipboard);
    form->edit2->SetText("");
    platform.SetClipboardText(c.clipboard);
    if (c.shift_insert)
      driver.Key(*form, VK_INSERT, /*shift=*/true);
    else
      driver.Key(*form, VK_V, false, /*ctrl=*/true);
    Pump();
    EXPECT_EQ(form->edit2->Text(), app::Sjis(c.text));
  }
  // V without Ctrl is only a key; its text comes as typed text.
  platform.SetClipboardText("zzz");
  driver.Key(*form, VK_V);
  Pump();
  EXPECT_EQ(form->edit2->Text(), "");
}

TEST_F(FormsTest, TheInputMethodsCompositionShowsUnderlinedUntilItIsCommitted) {
  form->Show();
  form->edit2->SetFocus();
  driver.Type(*form, "A");
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  auto longest_dark_run_under_the_text = [&] {
    // The row just below the text line: the edit's inside starts 2 pixels down, the 12-pixel
    // line 2 pixels further.
    int longest = 0, run = 0;
    for (int x = 72; x < 72 + 233; ++x) {
      run = w.ShownPixel(x, 104 + 2 + 2 + 12) == 0 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    return longest;
  };
  EXPECT_LT(longest_dark_run_under_the_text(), 5);
  driver.Compose(*form, "にほん", 3);
  Pump();
  EXPECT_EQ(form->edit2->Composition(), "にほん");
  EXPECT_EQ(form->edit2->Text(), "A");
  EXPECT_GT(longest_dark_run_under_the_text(), 30);  // three kana, underlined
  // Keys belong to the input method while it composes.
  driver.Key(*form, VK_BACK);
  Pump();
  EXPECT_EQ(form->edit2->Text(), "A");
  driver.Type(*form, "日本");
  Pump();
  EXPECT_EQ(form->edit2->Composition(), "");
  EXPECT_EQ(form->edit2->Text(), app::Sjis(u8"A日本"));
  EXPECT_LT(longest_dark_run_under_the_text(), 5);
}

// The input method puts its candidates beside the caret: the form tells its window where the
// caret is, in the form's own coordinates, whenever it draws the focused edit.
TEST_F(FormsTest, TheCaretsPlaceGoesToTheWindowForTheInputMethod) {
  form->Show();
  form->edit2->SetFocus();
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  const std::array<int, 4> empty = w.TextInputArea();
  EXPECT_EQ(empty[0], 72 + 3);  // past the two-pixel frame and the one-pixel margin
  EXPECT_GE(empty[1], 104 + 2);
  EXPECT_LE(empty[1] + empty[3], 104 + 20 - 2);
  EXPECT_EQ(empty[2], 1);
  EXPECT_GE(empty[3], 12);
  driver.Type(*form, "abc");
  Pump();
  EXPECT_EQ(w.TextInputArea()[0], 72 + 3 + form->Canvas().TextWidth("abc"));
  driver.Key(*form, VK_HOME);
  Pump();
  EXPECT_EQ(w.TextInputArea()[0], 72 + 3);
  // The other edit, clicked.
  driver.Click(*form, 72 + 40, 72 + 10);
  Pump();
  EXPECT_EQ(w.TextInputArea()[1], empty[1] - (104 - 72));
}

TEST_F(FormsTest, ButtonsClickByMouseSpaceAndEnterButNotWhenDisabled) {
  form->Show();
  Pump();
  driver.Click(*form->ok);
  Pump();
  EXPECT_EQ(form->clicks, std::vector<std::string>{"ok"});
  EXPECT_EQ(form->ActiveControl(), form->ok);

  // Pressed inside, released outside: no click.
  platform::Event e;
  e.window = form->Handle().Id();
  e.button = 1;
  e.type = platform::EventType::MouseDown;
  e.x = 60, e.y = 150;
  platform.PostEvent(e);
  e.type = platform::EventType::MouseMove;
  e.x = 5, e.y = 5;
  platform.PostEvent(e);
  Pump();
  EXPECT_FALSE(form->ok->Pressed());
  e.type = platform::EventType::MouseUp;
  platform.PostEvent(e);
  Pump();
  EXPECT_EQ(form->clicks.size(), 1u);

  // Space clicks when it is let go; Enter at once.
  driver.KeyDownOnly(*form, VK_SPACE);
  Pump();
  EXPECT_TRUE(form->ok->Pressed());
  EXPECT_EQ(form->clicks.size(), 1u);
  platform::Event up;
  up.type = platform::EventType::KeyUp;
  up.window = form->Handle().Id();
  up.vk = VK_SPACE;
  platform.PostEvent(up);
  driver.Key(*form, VK_RETURN);
  Pump();
  EXPECT_EQ(form->clicks, (std::vector<std::string>{"ok", "ok", "ok"}));

  // Escape clicks the cancel button wherever the focus is.
  form->edit->SetFocus();
  driver.Key(*form, VK_ESCAPE);
  // Enter in an edit clicks nothing: no button is the default.
  driver.Key(*form, VK_RETURN);
  Pump();
  EXPECT_EQ(form->clicks.back(), "cancel");
  EXPECT_EQ(form->clicks.size(), 4u);

  // Disabled: the focus moves on, and neither mouse nor keys click it.
  form->ok->SetFocus();
  form->ok->SetEnabled(false);
  EXPECT_EQ(form->ActiveControl(), form->cancel);
  driver.Click(*form->ok);
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->cancel);
  EXPECT_EQ(form->clicks.size(), 4u);

  // Its caption is engraved: grey with a white shadow, nothing black inside its edges.
  platform::HeadlessWindow& w = Window(*form);
  int grey = 0, black = 0;
  for (int y = 136 + 3; y < 136 + 30; ++y)
    for (int x = 48 + 3; x < 48 + 94; ++x) {
      grey += w.ShownPixel(x, y) == 0x808080;
      black += w.ShownPixel(x, y) == 0;
    }
  EXPECT_GT(grey, 0);
  EXPECT_EQ(black, 0);
}

TEST_F(FormsTest, AModalFormBlocksTheOtherWindowsUntilItCloses) {
  auto* main = new app::TForm(&application);
  application.MainForm = main;
  int main_keys = 0;
  main->OnKeyDown = [&](app::TObject*, std::uint16_t&, app::TShiftState) { ++main_keys; };
  main->Show();
  Pump();

  driver.Then([&] {
    driver.Key(*main, VK_SPACE);
    driver.Type(*form, "x");  // the edit is not focused: nothing
    driver.Key(*form, VK_TAB);
    driver.Key(*form, VK_TAB);
    driver.Type(*form, "typed");
    driver.CloseBox(*main);  // ignored while the dialog is up
    return true;
  });
  driver.Then([&] {
    EXPECT_EQ(form->edit->Text(), "typed");
    EXPECT_TRUE(Window(*form).TextInput());
    driver.CloseBox(*form);
    return true;
  });
  EXPECT_EQ(form->ShowModal(), app::mrCancel);
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(main_keys, 0);
  EXPECT_FALSE(application.Terminated());
  EXPECT_FALSE(Window(*form).Visible());
  EXPECT_FALSE(Window(*form).TextInput());

  // A button's modal result ends it too; the main window has the focus back afterwards.
  form->ok->ModalResult = app::mrOk;
  driver.Then([&] {
    driver.Click(*form->ok);
    return true;
  });
  EXPECT_EQ(form->ShowModal(), app::mrOk);
  Pump();
  EXPECT_EQ(platform.FocusedWindow(), main->Handle().Id());
  driver.Key(*main, VK_SPACE);
  Pump();
  EXPECT_EQ(main_keys, 1);

  // Release destroys it only once control is back in the message loop.
  bool destroyed = false;
  form->OnDestroy = [&](app::TObject*) { destroyed = true; };
  form->Release();
  EXPECT_FALSE(destroyed);
  Pump();
  EXPECT_TRUE(destroyed);
}

TEST_F(FormsTest, ShowMessageIsAModalBoxWithTheTitleTheLinesAndOneOkButton) {
  for (std::uint16_t vk : {VK_RETURN, VK_SPACE, VK_ESCAPE}) {
    SCOPED_TRACE(vk);
    std::string caption, text;
    int buttons = 0;
    driver.Then([&] {
      app::TForm* box = testing_support::OpenMessageBox();
      if (!box) return false;
      caption = Window(*box).Title();
      text = testing_support::MessageText(*box);
      for (app::TControl* c : box->Controls()) buttons += dynamic_cast<app::TButton*>(c) != nullptr;
      EXPECT_EQ(static_cast<app::TLabel*>(box->Controls()[0])->Lines().size(), 3u);
      driver.Key(*box, vk);
      return true;
    });
    app::ShowMessage(app::Sjis(u8"一行目\r二行目\rthird"));
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(caption, app::Sjis(u8"ノルダース"));
    EXPECT_EQ(text, app::Sjis(u8"一行目\r二行目\rthird"));
    EXPECT_EQ(buttons, 1);
  }
  // The box is gone once ShowMessage returns.
  EXPECT_EQ(application.Forms().size(), 1u);
}

TEST_F(FormsTest, AMessageBoxOverAnEditTurnsTextInputOffUntilItCloses) {
  form->ok->Default = true;
  form->ok->OnClick = [&](app::TObject*) { app::ShowMessage("hello"); };
  form->edit->SetFocus();
  bool input_during_box = true;
  driver.Then([&] {
    EXPECT_TRUE(Window(*form).TextInput());
    driver.Key(*form, VK_RETURN);  // from the edit: the default button
    return true;
  });
  driver.Then([&] {
    app::TForm* box = testing_support::OpenMessageBox();
    if (!box) return false;
    input_during_box = Window(*form).TextInput();
    driver.Key(*box, VK_RETURN);
    return true;
  });
  driver.Then([&] {
    if (testing_support::OpenMessageBox()) return false;
    EXPECT_EQ(form->ActiveControl(), form->edit);
    EXPECT_TRUE(Window(*form).TextInput());
    driver.CloseBox(*form);
    return true;
  });
  form->ShowModal();
  EXPECT_TRUE(driver.Done());
  EXPECT_FALSE(input_during_box);
}

TEST_F(FormsTest, AnExceptionLeavingAHandlerShowsTheErrorBoxAndGoesToStandardError) {
  app::UseErrorBox(application);
  int idle_passes = 0;
  application.OnIdle = [&](app::TObject*, bool&) { ++idle_passes; };
  form->ok->OnClick = [&](app::TObject*) { throw app::Exception(app::Sjis(u8"描画できません")); };
  form->Show();
  Pump();
  std::string text, caption;
  int idle_during_box = -1;
  driver.Then([&] {
    app::TForm* box = testing_support::OpenMessageBox();
    if (!box) return false;
    text = testing_support::MessageText(*box);
    caption = Window(*box).Title();
    idle_during_box = idle_passes;
    // A second error meanwhile goes to standard error only.
    application.HandleException(std::runtime_error("second"));
    return true;
  });
  driver.Then([&] {
    EXPECT_EQ(idle_passes, idle_during_box);  // the frame timer rests while the box is up
    driver.Key(*testing_support::OpenMessageBox(), VK_RETURN);
    return true;
  });
  testing::internal::CaptureStderr();
  driver.Click(*form->ok);
  Pump();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(text, app::Sjis(u8"描画できません") + ".");
  EXPECT_EQ(caption, app::Sjis(u8"ノルダース"));
  EXPECT_NE(err.find("描画できません"), std::string::npos) << err;
  EXPECT_NE(err.find("second"), std::string::npos) << err;
  EXPECT_EQ(application.Forms().size(), 1u);
}

}  // namespace
