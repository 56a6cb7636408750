// The SDL keyboard under a virtual X server, with real key events: what key messages carry, the
// keys-down tables, the foreground window, and text input staying off.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using platform::Event;
using platform::EventType;
using testing_support::ChildProcess;
using testing_support::VirtualX;

class SdlKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", x.Display().c_str(), 1);
    sdl = platform::CreateSdlPlatform();
    platform::WindowDesc desc;
    desc.title = "keys";
    window = sdl->CreateWindow(desc);
    window->Show();
    ASSERT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::FocusGained; }))
        << "a window shown with no window manager running never got the keyboard";
    EXPECT_EQ(keyboard().ForegroundWindow(), window->Id());
  }

  platform::Keyboard& keyboard() { return sdl->GetKeyboard(); }

  void Xdo(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front();
  }

  // Handles events (keeping them in `seen`) until one matches or the time is up.
  bool PumpUntil(const std::function<bool(const Event&)>& match, std::chrono::milliseconds time = 2s) {
    auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
      Event e;
      while (sdl->PollEvent(e)) {
        seen.push_back(e);
        if (match(e)) return true;
      }
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  // The key event of that kind that arrives next, past the Num Lock and modifier keys that
  // xdotool presses around a key that needs them.
  Event NextKey(EventType type) {
    Event found;
    bool ok = PumpUntil([&](const Event& e) {
      if (e.type != type || e.vk == 0x90 || (e.vk >= 0x10 && e.vk <= 0x12)) return false;
      found = e;
      return true;
    });
    EXPECT_TRUE(ok) << "no key event came";
    return found;
  }
  bool ScanDown(std::uint8_t code) {
    platform::KeyTable t;
    keyboard().ScanCodesDown(t);
    return t[code] & platform::kKeyDown;
  }
  bool VkDown(std::uint8_t vk) {
    platform::KeyTable t;
    keyboard().KeyStates(t);
    return t[vk] & platform::kKeyDown;
  }

  VirtualX x;
  std::unique_ptr<platform::Platform> sdl;
  std::unique_ptr<platform::Window> window;
  std::vector<Event> seen;
};

TEST_F(SdlKeyboardTest, KeyMessagesCarryTheVirtualKeyScanCodeAndAlt) {
  struct Case {
    const char* keysym;
    std::uint16_t vk;
    std::uint8_t scancode;
  };
  const Case cases[] = {
      {"space", 0x20, 0x39}, {"Return", 0x0D, 0x1C}, {"KP_Enter", 0x0D, 0x9C}, {"Escape", 0x1B, 0x01},
      {"F1", 0x70, 0x3B},    {"F8", 0x77, 0x42},     {"F11", 0x7A, 0x57},       {"Up", 0x26, 0xC8},
      {"KP_8", 0x68, 0x48},  {"KP_Up", 0x68, 0x48},  {"i", 0x49, 0x17},         {"x", 0x58, 0x2D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keysym);
    Xdo({"keydown", c.keysym});
    Event down = NextKey(EventType::KeyDown);
    EXPECT_EQ(down.window, window->Id());
    EXPECT_EQ(down.vk, c.vk);
    EXPECT_EQ(down.scancode, c.scancode);
    EXPECT_FALSE(down.alt);
    EXPECT_TRUE(ScanDown(c.scancode));
    EXPECT_TRUE(VkDown(static_cast<std::uint8_t>(c.vk)));
    Xdo({"keyup", c.keysym});
    Event up = NextKey(EventType::KeyUp);
    EXPECT_EQ(up.vk, c.vk);
    EXPECT_FALSE(ScanDown(c.scancode));
  }

  Xdo({"key", "alt+F8"});
  Event alt_f8;
  ASSERT_TRUE(PumpUntil([&](const Event& e) {
    alt_f8 = e;
    return e.type == EventType::KeyDown && e.vk == 0x77;
  }));
  EXPECT_TRUE(alt_f8.alt);
}

TEST_F(SdlKeyboardTest, TheKeypadGivesItsOwnCodesWhateverNumLock) {
  Xdo({"key", "Num_Lock"});
  PumpUntil([](const Event& e) { return e.type == EventType::KeyUp && e.vk == 0x90; });
  for (const char* keysym : {"KP_8", "KP_2", "KP_4", "KP_6"}) {
    SCOPED_TRACE(keysym);
    Xdo({"key", keysym});
    Event e = NextKey(EventType::KeyDown);
    const std::uint16_t expected = keysym[3] == '8' ? 0x68 : keysym[3] == '2' ? 0x62 : keysym[3] == '4' ? 0x64 : 0x66;
    EXPECT_EQ(e.vk, expected);
  }
}

TEST_F(SdlKeyboardTest, AutoRepeatsArriveAsRepeatedKeyDowns) {
  Xdo({"keydown", "F1"});
  std::this_thread::sleep_for(900ms);  // longer than the server's repeat delay
  Xdo({"keyup", "F1"});
  ASSERT_TRUE(PumpUntil([](const Event& e) { return e.type == EventType::KeyUp; }));
  int downs = 0, repeats = 0;
  for (const Event& e : seen) {
    if (e.type != EventType::KeyDown || e.vk != 0x70) continue;
    ++downs;
    if (e.repeat) ++repeats;
  }
  EXPECT_GE(downs, 2);
  EXPECT_EQ(repeats, downs - 1);
}

TEST_F(SdlKeyboardTest, TypingGivesNoTextInput) {
  Xdo({"type", "velkor"});
  ASSERT_TRUE(PumpUntil([](const Event& e) { return e.type == EventType::KeyUp && e.vk == 'R'; }));
  PumpUntil([](const Event&) { return false; }, 300ms);  // anything late
  for (const Event& e : seen) {
    EXPECT_NE(e.type, EventType::TextInput) << e.text;
    EXPECT_NE(e.type, EventType::TextEditing) << e.text;
  }
}

TEST_F(SdlKeyboardTest, OnlyAWindowThatAsksForTextGetsIt) {
  auto dialog = sdl->CreateWindow(platform::WindowDesc{});
  dialog->SetTextInput(true);
  dialog->Show();
  ASSERT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::FocusGained && e.window == dialog->Id(); }));
  Xdo({"type", "ab"});
  EXPECT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::TextInput && e.text == "b"; }));

  // The dialog closes and the game window is raised: it gets the keyboard back, even with no
  // window manager to hand it over, and keys are keys again.
  dialog->Hide();
  window->Raise();
  ASSERT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::FocusGained && e.window == window->Id(); }));
  seen.clear();
  Xdo({"type", "cd"});
  ASSERT_TRUE(PumpUntil([](const Event& e) { return e.type == EventType::KeyUp && e.vk == 'D'; }));
  PumpUntil([](const Event&) { return false; }, 300ms);
  for (const Event& e : seen) EXPECT_NE(e.type, EventType::TextInput) << e.text;
}

TEST_F(SdlKeyboardTest, NothingIsDownWhileAnotherProgramHasTheKeyboard) {
  Xdo({"keydown", "Left"});
  NextKey(EventType::KeyDown);
  ASSERT_TRUE(ScanDown(0xCB));
  const std::uint32_t serial = keyboard().FocusSerial();

  // Another program's window takes the keyboard.
  ChildProcess other;
  other.Start({"xmessage", "-name", "other", "other"}, {{"DISPLAY", x.Display()}});
  std::string found;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] { return !(found = x.Xdotool({"search", "--onlyvisible", "--classname", "other"})).empty(); }, 10s));
  Xdo({"windowfocus", "--sync", found.substr(0, found.find('\n'))});
  ASSERT_TRUE(PumpUntil([](const Event& e) { return e.type == EventType::FocusLost; }));
  EXPECT_EQ(keyboard().ForegroundWindow(), 0u);
  EXPECT_NE(keyboard().FocusSerial(), serial);
  EXPECT_FALSE(ScanDown(0xCB));
  EXPECT_FALSE(VkDown(0x25));
  Xdo({"keyup", "Left"});
}

// A window enlarged three times over: clicks arrive in its own pixels, its pixels show as 3 x 3
// blocks, and the input method's caret place is given to SDL in desktop pixels.
TEST_F(SdlKeyboardTest, AnEnlargedWindowTakesClicksInItsOwnPixelsAndPlacesTheInputMethod) {
  platform::WindowDesc desc;
  desc.title = "enlarged";
  desc.client_width = 100;
  desc.client_height = 50;
  desc.scaled = true;
  desc.scale = 3;
  auto dialog = sdl->CreateWindow(desc);
  EXPECT_EQ(dialog->Scale(), 3);
  dialog->Show();
  ASSERT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::FocusGained && e.window == dialog->Id(); }));
  const platform::WindowPlacement placed = dialog->Placement();
  EXPECT_EQ(placed.width, 300);
  EXPECT_EQ(placed.height, 150);

  std::vector<std::uint32_t> picture(100 * 50, 0xC0C0C0);
  picture[20 * 100 + 10] = 0x123456;
  dialog->ShowPixels({reinterpret_cast<std::uint8_t*>(picture.data()), 100, 50, 400, 32, nullptr});
  const std::string id = x.Xdotool({"search", "--name", "^enlarged$"});
  ASSERT_FALSE(id.empty());
  auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(id));
  ASSERT_TRUE(shot);
  ASSERT_EQ(shot->width, 300);
  for (int y = 59; y <= 63; ++y)
    for (int px = 29; px <= 33; ++px)
      EXPECT_EQ(shot->pixels[static_cast<std::size_t>(y * 300 + px)], (px / 3 == 10 && y / 3 == 20) ? 0x123456u : 0xC0C0C0u)
          << px << "," << y;

  Xdo({"mousemove", "--sync", "--window", id, "32", "61"});
  Xdo({"click", "1"});
  ASSERT_TRUE(PumpUntil([&](const Event& e) { return e.type == EventType::MouseUp && e.window == dialog->Id(); }));
  bool down_seen = false;
  for (const Event& e : seen)
    if (e.type == EventType::MouseDown && e.window == dialog->Id()) {
      down_seen = true;
      EXPECT_EQ(e.x, 10);
      EXPECT_EQ(e.y, 20);
    }
  EXPECT_TRUE(down_seen);

  dialog->SetTextInput(true);
  dialog->SetTextInputArea(75, 6, 1, 12);
  const SDL_Rect r = static_cast<platform::SdlWindow&>(*dialog).TextInputRect();
  EXPECT_EQ(r.x, 225);
  EXPECT_EQ(r.y, 18);
  EXPECT_EQ(r.w, 3);
  EXPECT_EQ(r.h, 36);
}

// A composition comes to the program whole, however SDL hands it over: in pieces cut to the
// buffer of its plain editing event (each with its offset in characters), or in one extended
// event. The caret goes where the input method puts it, or at the end when the pieces leave it
// unsaid.
TEST_F(SdlKeyboardTest, ACompositionComesWholeFromItsPieces) {
  window->SetTextInput(true);
  struct Piece {
    const char* text;
    int start, length;
    bool extended = false;
  };
  struct Case {
    const char* what;
    std::vector<Piece> pieces;
    std::vector<std::pair<std::string, int>> compositions;  // the text and the caret of each event
  };
  const Case cases[] = {
      {"fifteen kana in two pieces",
       {{"にほんごにゅうりょく", 0, 10}, {"てすとです", 10, 5}},
       {{"にほんごにゅうりょくてすとです", 15}}},
      {"twenty-four in three",
       {{"にほんごにゅうりょく", 0, 10}, {"てすとですにほんごに", 10, 10}, {"ゅうりょ", 20, 4}},
       {{"にほんごにゅうりょくてすとですにほんごにゅうりょ", 24}}},
      {"one full piece and a new composition after it",
       {{"にほんごにゅうりょく", 0, 10}, {"に", 0, 1}},
       {{"にほんごにゅうりょく", 0}, {"に", 0}}},
      {"a short composition with the input method's caret", {{"にほん", 2, -1}}, {{"にほん", 2}}},
      {"an extended event", {{"にほんごにゅうりょくてすとです", 4, -1, true}}, {{"にほんごにゅうりょくてすとです", 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Piece& p : c.pieces) {
      SDL_Event e{};
      if (p.extended) {
        e.editExt.type = SDL_TEXTEDITING_EXT;
        e.editExt.windowID = window->Id();
        e.editExt.text = SDL_strdup(p.text);
        e.editExt.start = p.start;
        e.editExt.length = p.length;
      } else {
        e.edit.type = SDL_TEXTEDITING;
        e.edit.windowID = window->Id();
        SDL_utf8strlcpy(e.edit.text, p.text, sizeof e.edit.text);
        ASSERT_STREQ(e.edit.text, p.text) << "a piece longer than SDL's buffer";
        e.edit.start = p.start;
        e.edit.length = p.length;
      }
      ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    std::vector<std::pair<std::string, int>> got;
    PumpUntil([&](const Event& e) {
      if (e.type == EventType::TextEditing) got.emplace_back(e.text, e.x);
      return got.size() >= c.compositions.size();
    }, 500ms);
    PumpUntil([&](const Event& e) {
      if (e.type == EventType::TextEditing) got.emplace_back(e.text, e.x);
      return false;
    }, 100ms);
    EXPECT_EQ(got, c.compositions);
  }
}

// Some input methods commit their composition themselves as it is reset: the program committed
// its own copy already, so that text goes nowhere, while a new composition or key is taken.
TEST_F(SdlKeyboardTest, ACommitRepeatedByTheResetInputMethodIsKeptBack) {
  window->SetTextInput(true);
  auto push_text = [&](Uint32 type, const char* text) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_TEXTINPUT) {
      e.text.windowID = window->Id();
      SDL_utf8strlcpy(e.text.text, text, sizeof e.text.text);
    } else {
      e.edit.windowID = window->Id();
      SDL_utf8strlcpy(e.edit.text, text, sizeof e.edit.text);
      e.edit.length = -1;
    }
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  };
  struct Case {
    const char* what;
    const char* composition;
    std::vector<std::pair<Uint32, const char*>> sent;
    std::vector<std::string> taken;  // the texts typed and composed that reach the program
  };
  const Case cases[] = {
      {"committed again, then new typing", "やまだ",
       {{SDL_TEXTEDITING, ""}, {SDL_TEXTINPUT, "やまだ"}, {SDL_TEXTEDITING, "か"}, {SDL_TEXTINPUT, "か"}},
       {"", "か", "か"}},
      {"committed again in SDL's pieces", "にほんごにゅうりょくてすとです",
       {{SDL_TEXTINPUT, "にほんごにゅうりょく"}, {SDL_TEXTINPUT, "てすとです"}, {SDL_TEXTINPUT, "a"}},
       {"a"}},
      {"dropped by the input method: the same word typed anew is taken", "やまだ",
       {{SDL_TEXTEDITING, ""}, {SDL_TEXTEDITING, "やまだ"}, {SDL_TEXTINPUT, "やまだ"}},
       {"", "やまだ", "やまだ"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    window->ResetComposition(c.composition);
    for (const auto& [type, text] : c.sent) push_text(type, text);
    std::vector<std::string> taken;
    PumpUntil([&](const Event& e) {
      if (e.type == EventType::TextEditing || e.type == EventType::TextInput) taken.push_back(e.text);
      return false;
    }, 300ms);
    EXPECT_EQ(taken, c.taken);
  }
}

}  // namespace
