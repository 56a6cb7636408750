// Forms and their controls on the headless backend: windows, focus, editing, buttons, modal
// display and the message boxes.
#include <gtest/gtest.h>

#include <array>
#include <functional>
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
  VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46, VK_A = 0x41,
  VK_C = 0x43, VK_V = 0x56, VK_X = 0x58,
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
  // Where the boundary before character `pos` of an edit shows in its form, nothing scrolled out:
  // past the edit's two-pixel frame and one-pixel margin.
  int BoundaryX(app::TEdit* e, int pos) {
    std::string before;
    const std::vector<std::string> chars = app::Cp932Chars(e->Text());
    for (int i = 0; i < pos; ++i) before += chars[static_cast<std::size_t>(i)];
    return e->Left + 3 + form->Canvas().TextWidth(before);
  }
  int MidY(app::TEdit* e) { return e->Top + e->Height / 2; }
  void Select(app::TEdit* e, int from, int length) {
    e->SetSelStart(from);
    e->SetSelLength(length);
  }

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

// The selection as an edit reports it: its left edge, its length in characters and the caret at
// its moving end.
struct Selection {
  int start, length, caret;
  bool operator==(const Selection&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Selection& s) {
  return os << "{start " << s.start << ", length " << s.length << ", caret " << s.caret << "}";
}
Selection SelectionOf(const app::TEdit& e) { return {e.SelStart(), e.SelLength(), e.CaretPos()}; }

TEST_F(FormsTest, ShiftWithTheCaretKeysSelectsAndThePlainKeysCollapseTheSelectionToItsEdge) {
  form->Show();
  form->edit2->SetFocus();
  Pump();
  app::TEdit* e = form->edit2;
  struct Step {
    const char* what;
    std::function<void()> act;
    std::u8string text;
    Selection selection;
  };
  auto keys = [&](std::vector<std::uint16_t> vks, bool shift = false, bool ctrl = false) {
    return [=, this] {
      for (std::uint16_t vk : vks) driver.Key(*form, vk, shift, ctrl);
    };
  };
  const std::vector<Step> steps = {
      {"type", [&] { driver.Type(*form, "ab日本語"); }, u8"ab日本語", {5, 0, 5}},
      {"Shift+Left twice", keys({VK_LEFT, VK_LEFT}, true), u8"ab日本語", {3, 2, 3}},
      {"Shift+Home", keys({VK_HOME}, true), u8"ab日本語", {0, 5, 0}},
      {"Shift+Right", keys({VK_RIGHT}, true), u8"ab日本語", {1, 4, 1}},
      {"Right goes to the right edge", keys({VK_RIGHT}), u8"ab日本語", {5, 0, 5}},
      {"Shift+Up, Shift+Left, Left goes to the left edge", [&] { keys({VK_UP, VK_LEFT}, true)(); keys({VK_LEFT})(); },
       u8"ab日本語", {3, 0, 3}},
      {"Shift+End", keys({VK_END}, true), u8"ab日本語", {3, 2, 5}},
      {"Shift+Left back over the anchor", keys({VK_LEFT, VK_LEFT, VK_LEFT}, true), u8"ab日本語", {2, 1, 2}},
      {"Home", keys({VK_HOME}), u8"ab日本語", {0, 0, 0}},
      {"Ctrl+A", keys({VK_A}, false, true), u8"ab日本語", {0, 5, 5}},
      {"A without Ctrl selects nothing", [&] { keys({VK_HOME})(); keys({VK_A})(); }, u8"ab日本語", {0, 0, 0}},
      {"Shift+Down then typing replaces", [&] { keys({VK_DOWN, VK_DOWN}, true)(); driver.Type(*form, "x"); },
       u8"x日本語", {1, 0, 1}},
      {"Shift+End, Backspace", [&] { keys({VK_END}, true)(); keys({VK_BACK})(); }, u8"x", {1, 0, 1}},
      {"Backspace without a selection", [&] { driver.Type(*form, "yz"); keys({VK_BACK})(); }, u8"xy", {2, 0, 2}},
      {"Shift+Home, Delete", [&] { keys({VK_HOME}, true)(); keys({VK_DELETE})(); }, u8"", {0, 0, 0}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    Pump();
    EXPECT_EQ(e->Text(), app::Sjis(s.text));
    EXPECT_EQ(SelectionOf(*e), s.selection);
  }
}

TEST_F(FormsTest, TabbingIntoAnEditSelectsItsTextAndAClickDoesNot) {
  form->edit->SetText("name");
  form->edit2->SetText("comment");
  form->Show();
  Pump();
  driver.Key(*form, VK_TAB);
  driver.Key(*form, VK_TAB);
  Pump();
  ASSERT_EQ(form->ActiveControl(), form->edit);
  EXPECT_EQ(SelectionOf(*form->edit), (Selection{0, 4, 4}));
  driver.Type(*form, "new");  // typing replaces it all
  Pump();
  EXPECT_EQ(form->edit->Text(), "new");

  driver.Click(*form, BoundaryX(form->edit2, 3), MidY(form->edit2));
  Pump();
  ASSERT_EQ(form->ActiveControl(), form->edit2);
  EXPECT_EQ(SelectionOf(*form->edit2), (Selection{3, 0, 3}));
  driver.Key(*form, VK_TAB, /*shift=*/true);
  Pump();
  EXPECT_EQ(SelectionOf(*form->edit), (Selection{0, 3, 3}));

  // Without AutoSelect the caret only goes to the end.
  form->edit2->AutoSelect = false;
  driver.Key(*form, VK_TAB);
  Pump();
  EXPECT_EQ(SelectionOf(*form->edit2), (Selection{7, 0, 7}));
}

TEST_F(FormsTest, CopyAndCutPutTheSelectionOnTheClipboardAndPasteReplacesIt) {
  form->Show();
  form->edit2->SetFocus();
  Pump();
  app::TEdit* e = form->edit2;
  struct Case {
    const char* what;
    int from, length;
    std::uint16_t vk;
    bool shift, ctrl;
    const char* clipboard;  // what the clipboard holds after (UTF-8)
    std::u8string text;
  };
  const Case cases[] = {
      {"Ctrl+C", 2, 2, VK_C, false, true, "日本", u8"ab日本語"},
      {"Ctrl+Insert", 0, 1, VK_INSERT, false, true, "a", u8"ab日本語"},
      {"Ctrl+X", 1, 2, VK_X, false, true, "b日", u8"a本語"},
      {"Shift+Delete", 3, 2, VK_DELETE, true, false, "本語", u8"ab日"},
      {"Ctrl+C with nothing selected", 2, 0, VK_C, false, true, "before", u8"ab日本語"},
      {"Shift+Delete with nothing selected", 2, 0, VK_DELETE, true, false, "before", u8"ab日本語"},
      {"C without Ctrl", 0, 5, VK_C, false, false, "before", u8"ab日本語"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e->SetText(app::Sjis(u8"ab日本語"));
    platform.SetClipboardText("before");
    Select(e, c.from, c.length);
    driver.Key(*form, c.vk, c.shift, c.ctrl);
    Pump();
    EXPECT_EQ(platform.ClipboardText(), c.clipboard);
    EXPECT_EQ(e->Text(), app::Sjis(c.text));
  }

  // Pasting: the clipboard's first line takes the selection's place, the caret after it.
  for (bool shift_insert : {false, true}) {
    SCOPED_TRACE(shift_insert ? "Shift+Insert" : "Ctrl+V");
    e->SetText(app::Sjis(u8"ab日本語"));
    platform.SetClipboardText("XY\r\nGET / HTTP/1.0");
    Select(e, 1, 3);
    if (shift_insert)
      driver.Key(*form, VK_INSERT, /*shift=*/true);
    else
      driver.Key(*form, VK_V, false, /*ctrl=*/true);
    Pump();
    EXPECT_EQ(e->Text(), app::Sjis(u8"aXY語"));
    EXPECT_EQ(SelectionOf(*e), (Selection{3, 0, 3}));
  }
}

// What replaces a selection follows the rules of typed text, and MaxLength counts the text
// without the selection it replaces.
TEST_F(FormsTest, ReplacingASelectionKeepsMaxLengthAndTakesOnlyWhatCp932Holds) {
  form->Show();
  form->edit->SetFocus();  // at most ten characters
  Pump();
  app::TEdit* e = form->edit;
  struct Case {
    const char* what;
    int from, length;
    std::function<void()> act;
    std::u8string text;
    Selection selection;
  };
  const Case cases[] = {
      {"typed over two in a full edit: two taken", 1, 2, [&] { driver.Type(*form, "ABC"); },
       u8"一AB四五ｱｲｳｴｵ", {3, 0, 3}},
      {"the input method's text over the last one", 9, 1, [&] { driver.Type(*form, "日本"); },
       u8"一二三四五ｱｲｳｴ日", {10, 0, 10}},
      {"pasted over all", 0, 10,
       [&] {
         platform.SetClipboardText("0123456789ABCDEF");
         driver.Key(*form, VK_V, false, true);
       },
       u8"0123456789", {10, 0, 10}},
      {"an emoji is refused and the selection stays", 0, 2, [&] { driver.Type(*form, "\xF0\x9F\x98\x80"); },
       u8"一二三四五ｱｲｳｴｵ", {0, 2, 2}},
      {"a tab is refused and the selection stays", 0, 2, [&] { driver.Type(*form, "\t"); },
       u8"一二三四五ｱｲｳｴｵ", {0, 2, 2}},
      {"control characters dropped from what replaces it", 4, 3, [&] { driver.Type(*form, "x\ty\x7f"); },
       u8"一二三四xyｳｴｵ", {6, 0, 6}},
      {"an empty clipboard leaves it", 0, 3,
       [&] {
         platform.SetClipboardText("");
         driver.Key(*form, VK_INSERT, true);
       },
       u8"一二三四五ｱｲｳｴｵ", {0, 3, 3}},
      {"a full edit with nothing selected takes nothing", 5, 0, [&] { driver.Type(*form, "z"); },
       u8"一二三四五ｱｲｳｴｵ", {5, 0, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e->SetText(app::Sjis(u8"一二三四五ｱｲｳｴｵ"));
    Select(e, c.from, c.length);
    c.act();
    Pump();
    EXPECT_EQ(e->Text(), app::Sjis(c.text));
    EXPECT_EQ(SelectionOf(*e), c.selection);
  }
  // The program's own SelText follows the same rules.
  e->SetText(app::Sjis(u8"一二三四五ｱｲｳｴｵ"));
  Select(e, 2, 1);
  e->SetSelText("\x01XYZ");
  EXPECT_EQ(e->Text(), app::Sjis(u8"一二X四五ｱｲｳｴｵ"));
}

TEST_F(FormsTest, DraggingTheMouseSelectsWholeCharactersAndShiftClickExtends) {
  app::TEdit* e = form->edit2;
  e->SetText(app::Sjis(u8"ab日本語"));
  form->Show();
  Pump();
  const int y = MidY(e);
  const int kanji = BoundaryX(e, 3) - BoundaryX(e, 2);
  ASSERT_GE(kanji, 9);
  struct Step {
    const char* what;
    std::function<void()> act;
    Selection selection;
  };
  const std::vector<Step> steps = {
      {"press", [&] { driver.MouseDown(*form, BoundaryX(e, 1), y); }, {1, 0, 1}},
      {"drag into the first kanji's left half", [&] { driver.MouseMove(*form, BoundaryX(e, 2) + kanji / 3, y); },
       {1, 1, 2}},
      {"and into its right half: it is whole", [&] { driver.MouseMove(*form, BoundaryX(e, 2) + 2 * kanji / 3, y); },
       {1, 2, 3}},
      {"release further on", [&] { driver.MouseUp(*form, BoundaryX(e, 4), y); }, {1, 3, 4}},
      {"moves with the button up do nothing", [&] { driver.MouseMove(*form, BoundaryX(e, 5), y); }, {1, 3, 4}},
      {"press and drag leftwards past the edit", [&] {
         driver.MouseDown(*form, BoundaryX(e, 4), y);
         driver.MouseMove(*form, BoundaryX(e, 2), y);
         driver.MouseMove(*form, 10, 10);
       },
       {0, 4, 0}},
      {"release outside", [&] { driver.MouseUp(*form, 10, 10); }, {0, 4, 0}},
      {"Shift+click extends from the anchor", [&] {
         driver.MouseDown(*form, BoundaryX(e, 5), y, /*shift=*/true);
         driver.MouseUp(*form, BoundaryX(e, 5), y);
       },
       {4, 1, 5}},
      {"a plain click collapses it", [&] { driver.Click(*form, BoundaryX(e, 3), y); }, {3, 0, 3}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    Pump();
    EXPECT_EQ(SelectionOf(*e), s.selection);
  }
  Select(e, 1, 2);
  EXPECT_EQ(e->SelText(), app::Sjis(u8"b日"));
}

TEST_F(FormsTest, ADoubleClickSelectsTheWordUnderIt) {
  app::TEdit* e = form->edit2;
  e->SetText(app::Sjis(u8"ab cd日本　ｶﾅ"));  // a space and a full-width space
  form->Show();
  Pump();
  struct Case {
    int boundary;
    int offset;  // pixels right of it
    Selection selection;
  };
  const Case cases[] = {
      {0, 1, {0, 2, 2}},   // ab
      {4, 1, {3, 4, 7}},   // cd日本: kanji belong to the word
      {2, 0, {0, 2, 2}},   // at the word's end: the word, not the space after it
      {8, 1, {8, 2, 10}},  // ｶﾅ
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.boundary);
    const int x = BoundaryX(e, c.boundary) + c.offset;
    driver.MouseDown(*form, x, MidY(e));
    driver.MouseUp(*form, x, MidY(e));
    driver.MouseDown(*form, x, MidY(e), false, /*clicks=*/2);
    driver.MouseMove(*form, BoundaryX(e, 0), MidY(e));  // the button still held moves nothing
    driver.MouseUp(*form, BoundaryX(e, 0), MidY(e));
    Pump();
    EXPECT_EQ(SelectionOf(*e), c.selection);
  }
  // A third quick press is a plain one again: it places the caret and a drag selects from there.
  driver.MouseDown(*form, BoundaryX(e, 4), MidY(e), false, /*clicks=*/3);
  driver.MouseMove(*form, BoundaryX(e, 6), MidY(e));
  driver.MouseUp(*form, BoundaryX(e, 6), MidY(e));
  Pump();
  EXPECT_EQ(SelectionOf(*e), (Selection{4, 2, 6}));
}

// The selected characters show white on navy while the edit has the focus; the caret stands at
// the selection's moving end.
TEST_F(FormsTest, TheSelectionShowsHighlightedWithTheCaretAtItsMovingEnd) {
  app::TEdit* e = form->edit2;
  e->SetText(app::Sjis(u8"ab日本語x"));
  form->Show();
  e->SetFocus();
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  constexpr platform::Rgb kNavy = 0x000080, kWhite = 0xFFFFFF, kBlack = 0x000000;
  struct Case {
    const char* what;
    int from, to;  // the caret at `to`
  };
  const Case cases[] = {
      {"two kanji, selected rightwards", 2, 4},
      {"a kanji and a letter, selected leftwards", 6, 4},
      {"all", 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e->SetSelStart(c.from);
    e->SetSelLength(c.to - c.from);
    Pump();
    const auto area = w.TextInputArea();
    const int top = area[1], bottom = area[1] + area[3];
    const int x1 = BoundaryX(e, std::min(c.from, c.to)), x2 = BoundaryX(e, std::max(c.from, c.to));
    const int caret = BoundaryX(e, c.to);
    EXPECT_EQ(area[0], caret);
    int white_inside = 0;
    for (int x = e->Left + 2; x < e->Left + e->Width - 2; ++x) {
      int navy = 0, white = 0, black = 0;
      for (int y = e->Top + 2; y < e->Top + e->Height - 2; ++y) {
        const platform::Rgb p = w.ShownPixel(x, y);
        navy += p == kNavy;
        white += p == kWhite && y >= top && y < bottom;
        black += p == kBlack && y >= top && y < bottom;
      }
      SCOPED_TRACE(x);
      if (x == caret) {
        // The caret, the line's height: white on the highlight, black beside it.
        EXPECT_EQ(x < x2 ? white : black, bottom - top);
      } else if (x >= x1 && x < x2) {
        EXPECT_EQ(navy + white, bottom - top);  // nothing but the highlight and its text
        white_inside += white;
      } else {
        EXPECT_EQ(navy, 0);
      }
    }
    EXPECT_GT(white_inside, 10);  // the selected text, white
  }
  // Without the focus the selection is kept but not shown.
  form->ok->SetFocus();
  Pump();
  EXPECT_EQ(SelectionOf(*e), (Selection{0, 6, 6}));
  for (int x = e->Left; x < e->Left + e->Width; ++x)
    for (int y = e->Top; y < e->Top + e->Height; ++y) ASSERT_NE(w.ShownPixel(x, y), kNavy) << x << ", " << y;
}

// The input method composes in the selection's place: its text shows there and the candidates
// go beside its caret; committed, it replaces the selection, and given up, the selection is back.
TEST_F(FormsTest, TheInputMethodComposesInTheSelectionsPlace) {
  app::TEdit* e = form->edit2;
  e->SetText(app::Sjis(u8"ab日本語"));
  form->Show();
  e->SetFocus();
  Select(e, 1, 3);
  Pump();
  platform::HeadlessWindow& w = Window(*form);
  driver.Compose(*form, "にほ", 1);
  Pump();
  EXPECT_EQ(w.TextInputArea()[0], BoundaryX(e, 1) + form->Canvas().TextWidth(app::Sjis(u8"に")));
  EXPECT_EQ(e->Text(), app::Sjis(u8"ab日本語"));
  driver.Compose(*form, "", 0);
  Pump();
  EXPECT_EQ(SelectionOf(*e), (Selection{1, 3, 4}));
  driver.Compose(*form, "わ", 1);
  driver.Type(*form, "和");
  Pump();
  EXPECT_EQ(e->Text(), app::Sjis(u8"a和語"));
  EXPECT_EQ(SelectionOf(*e), (Selection{2, 0, 2}));
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

// The focus leaving an edit during a composition commits the composition there, as far as the
// edit takes it, and tells the input method to drop its own: the next control starts without it.
TEST_F(FormsTest, AComposingEditThatLosesTheFocusKeepsTheCompositionAsText) {
  struct Case {
    const char* what;
    const char8_t* before;  // the edit's text, the caret at its end
    const char* composed;
    std::function<void()> leave;
    app::TControl* focus_after;
    const char8_t* after;
  };
  const Case cases[] = {
      {"a click in the other edit", u8"ab", "やまだ", [&] { driver.Click(*form, 72 + 40, 104 + 10); }, form->edit2,
       u8"abやまだ"},
      {"Tab", u8"", "やまだ", [&] { driver.Key(*form, VK_TAB); }, form->edit2, u8"やまだ"},
      {"Shift+Tab", u8"x", "かな", [&] { driver.Key(*form, VK_TAB, /*shift=*/true); }, form->cancel, u8"xかな"},
      {"a click on a button", u8"", "やまだ", [&] { driver.Click(*form, 48 + 20, 136 + 10); }, form->ok, u8"やまだ"},
      {"cut at MaxLength", u8"12345678", "やまだ", [&] { driver.Key(*form, VK_TAB); }, form->edit2, u8"12345678やま"},
      {"what CP932 cannot hold left out", u8"", "や\U0001F600だ", [&] { driver.Key(*form, VK_TAB); }, form->edit2,
       u8"やだ"},
  };
  form->Show();
  platform::HeadlessWindow& w = Window(*form);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form->edit->SetText(app::Sjis(c.before));
    form->edit2->SetText("");
    form->edit->SetFocus();
    form->edit->SetSelStart(10);
    Pump();
    const std::size_t resets = w.CompositionResets().size();
    driver.Compose(*form, c.composed, 3);
    Pump();
    ASSERT_EQ(form->edit->Composition(), c.composed);
    c.leave();
    Pump();
    EXPECT_EQ(form->ActiveControl(), c.focus_after);
    EXPECT_EQ(form->edit->Text(), app::Sjis(c.after));
    EXPECT_EQ(form->edit->Composition(), "");
    ASSERT_EQ(w.CompositionResets().size(), resets + 1) << "the input method was not told to drop its composition";
    EXPECT_EQ(w.CompositionResets().back(), c.composed);
    EXPECT_EQ(form->edit2->Text(), "");
    EXPECT_EQ(form->edit2->Composition(), "");
  }
  // Leaving without a composition leaves the input method alone.
  form->edit->SetFocus();
  Pump();
  const std::size_t resets = w.CompositionResets().size();
  driver.Key(*form, VK_TAB);
  Pump();
  EXPECT_EQ(w.CompositionResets().size(), resets);
}
