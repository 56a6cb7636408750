#include "media/dxinput.h"

#include <algorithm>

#include "app/application.h"
#include "app/sjis.h"

namespace media {

namespace {

struct ScanRange {
  std::uint8_t first_scan;
  const char* vks;  // one virtual-key code per scan code from first_scan on
};

constexpr std::array<std::uint8_t, 256> BuildScanTable() {
  std::array<std::uint8_t, 256> t{};
  // Runs of consecutive scan codes. Punctuation keys give the character code of their unshifted
  // character, so several coincide with other keys' codes (the apostrophe with VK_RIGHT).
  constexpr ScanRange runs[] = {
      {0x01, "\x1B" "1234567890"},
      {0x0D, "=\x08\x09QWERTYUIOP[]\x0D\x11" "ASDFGHJKL;'"},
      {0x2A, "\x10\\ZXCVBNM,./\x10*\x12 \x14"},
      {0x3B, "\x70\x71\x72\x73\x74\x75\x76\x77\x78\x79\x90\x91"},
      {0x47, "\x67\x68\x69\x6D\x64\x65\x66\x6B\x61\x62\x63\x60\x6E"},
      {0x57, "\x7A\x7B"},
      {0x9C, "\x0D\x11"},
      {0xC7, "\x24\x26\x21"},
      {0xCF, "\x23\x28\x22\x2D\x2E"},
      {0xDB, "\x5B\x5C\x5D"},
  };
  for (const ScanRange& run : runs)
    for (int i = 0; run.vks[i] != 0; ++i) t[run.first_scan + i] = static_cast<std::uint8_t>(run.vks[i]);
  t[0xB5] = 0x6F;  // keypad divide
  t[0xB8] = 0x12;  // right Alt
  t[0xCB] = 0x25;  // left arrow
  t[0xCD] = 0x27;  // right arrow
  return t;
}

constexpr std::array<std::uint8_t, 256> kScanToVirtualKey = BuildScanTable();

bool KeyDown(const platform::KeyTable& keys, std::int32_t code) {
  return code >= 1 && code <= 255 && (keys[code] & platform::kKeyDown) != 0;
}

}  // namespace

std::uint8_t ScanCodeToVirtualKey(std::uint8_t scan_code) { return kScanToVirtualKey[scan_code]; }

// --- TCustomInput ---

TCustomInput::TCustomInput(TCustomDXInput* DXInput) : dxinput_(DXInput) { dxinput_->AddDevice(this); }

TCustomInput::~TCustomInput() { dxinput_->RemoveDevice(this); }

void TCustomInput::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  if (!dxinput_->Loading()) Initialize();
}

void TCustomInput::Finalize() {
  initialized_ = false;
  force_feedback_supported_ = false;
  states_.Clear();
}

void TCustomInput::Initialize() {
  Finalize();
  if (enabled_) initialized_ = true;
}

unsigned TCustomInput::CooperativeLevel() const {
  unsigned level = force_feedback_supported_ && ForceFeedback ? DISCL_EXCLUSIVE : DISCL_NONEXCLUSIVE;
  return level | (dxinput_->ActiveOnly() ? DISCL_FOREGROUND : DISCL_BACKGROUND);
}

// --- TKeyboard ---

TKeyboard::TKeyboard(TCustomDXInput* DXInput) : TCustomInput(DXInput) {
  // The table a form without a stored one gets.
  auto set = [this](TDXInputState s, std::int32_t a, std::int32_t b, std::int32_t c) { Assigns[s] = {a, b, c}; };
  set(isUp, 'K', 0x26, 0x68);
  set(isDown, 'J', 0x28, 0x62);
  set(isLeft, 'H', 0x25, 0x64);
  set(isRight, 'L', 0x27, 0x66);
  set(isButton1, 'Z', 0x20, 0);
  set(isButton2, 'X', 0x0D, 0);
  set(isButton9, 0x71, 0, 0);
}

bool TKeyboard::ReadBinaryProperty(std::string_view name, std::span<const std::uint8_t> data) {
  if (name != "Assigns" && name != "Aissgns") return false;
  if (data.size() != kStoredAssignsSize)
    throw EDXInputError(app::Sjis(u8"ストリーム読み込みエラー") + " (" + std::string(name) + ")");
  std::size_t at = 0;
  for (auto& slots : Assigns) {
    for (std::int32_t& code : slots) {
      std::uint32_t v = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 |
                        std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24;
      code = static_cast<std::int32_t>(v);
      at += 4;
    }
  }
  return true;
}

std::array<std::uint8_t, TKeyboard::kStoredAssignsSize> TKeyboard::AssignsData() const {
  std::array<std::uint8_t, kStoredAssignsSize> out{};
  std::size_t at = 0;
  for (const auto& slots : Assigns) {
    for (std::int32_t code : slots) {
      auto v = static_cast<std::uint32_t>(code);
      for (int b = 0; b < 4; ++b) out[at++] = static_cast<std::uint8_t>(v >> (8 * b));
    }
  }
  return out;
}

void TKeyboard::Finalize() {
  Keys.fill(0);
  if (device_) device_->Unacquire();
  device_.reset();
  TCustomInput::Finalize();
}

void TKeyboard::Initialize() {
  Finalize();
  if (!Enabled()) return;
  if (platform::Keyboard* direct = DXInput()->DirectInput())
    device_ = std::make_unique<platform::KeyboardDevice>(*direct);
  initialized_ = true;
}

void TKeyboard::ApplyCooperativeLevel() {
  // Before the form has its window there is nothing to bind to; its creation binds it.
  if (!device_ || !DXInput()->Form().HandleAllocated()) return;
  device_->SetCooperativeLevel(DXInput()->Form().Handle().Id(), (CooperativeLevel() & DISCL_FOREGROUND) != 0);
}

void TKeyboard::Acquire() {
  if (device_) device_->Acquire();
}

bool TKeyboard::ReadDevice(platform::KeyTable& scan_codes) {
  platform::InputResult r = device_->GetDeviceState(scan_codes);
  if (r == platform::InputResult::InputLost || r == platform::InputResult::NotAcquired) {
    device_->Acquire();
    r = device_->GetDeviceState(scan_codes);
  }
  return r == platform::InputResult::Ok;
}

void TKeyboard::Update() {
  Keys.fill(0);
  states_.Clear();
  if (!initialized_) return;
  if (DXInput()->ActiveOnly() && !DXInput()->FormIsForeground()) return;

  if (device_) {
    if (ReadDevice(scan_buffer_)) {
      for (int sc = 0; sc < 256; ++sc) {
        if (!(scan_buffer_[sc] & platform::kKeyDown)) continue;
        if (std::uint8_t vk = ScanCodeToVirtualKey(static_cast<std::uint8_t>(sc))) Keys[vk] = platform::kKeyDown;
      }
    }
  } else {
    DXInput()->SystemKeyboard().KeyStates(Keys);
  }

  for (unsigned s = 0; s < kInputStateCount; ++s) {
    for (std::int32_t code : Assigns[s]) {
      if (KeyDown(Keys, code)) {
        states_.Include(static_cast<TDXInputState>(s));
        break;
      }
    }
  }
}

// --- TMouse, TJoystick ---
// The platform offers neither to the game: initialised or not, they report no states.

TMouse::TMouse(TCustomDXInput* DXInput) : TCustomInput(DXInput) {
  BindInputStates = false;
  enabled_ = false;
}

void TMouse::Update() { states_.Clear(); }

TJoystick::TJoystick(TCustomDXInput* DXInput) : TCustomInput(DXInput) {
  BindInputStates = false;
  enabled_ = false;
}

void TJoystick::Update() { states_.Clear(); }

// --- TGamepad ---

namespace {

struct ArmButtons {
  platform::PadButtons buttons;
  TDXInputState state;
};

using platform::PadBit;
using platform::PadButton;
constexpr ArmButtons kArmButtons[] = {
    {PadBit(PadButton::FaceUp) | PadBit(PadButton::DpadUp), isUp},
    {PadBit(PadButton::FaceDown) | PadBit(PadButton::DpadDown), isDown},
    {PadBit(PadButton::FaceLeft) | PadBit(PadButton::DpadLeft), isLeft},
    {PadBit(PadButton::FaceRight) | PadBit(PadButton::DpadRight), isRight},
};

}  // namespace

TGamepad::TGamepad(TCustomDXInput* DXInput) : TCustomInput(DXInput) {}

void TGamepad::Update() {
  states_.Clear();
  if (!initialized_) return;
  // Like the keyboard, a pad counts only while the game is in front.
  if (DXInput()->ActiveOnly() && !DXInput()->FormIsForeground()) return;
  const platform::PadButtons down = DXInput()->Form().App().Platform().GetGamepads().ButtonsDown();
  for (const ArmButtons& arm : kArmButtons)
    if (down & arm.buttons) states_.Include(arm.state);
}

// --- TCustomDXInput ---

namespace {

app::TForm* OwningForm(app::TComponent* owner) {
  for (app::TComponent* c = owner; c; c = c->Owner())
    if (auto* form = dynamic_cast<app::TForm*>(c)) return form;
  return nullptr;
}

}  // namespace

TCustomDXInput::TCustomDXInput(app::TComponent* AOwner) : app::TComponent(AOwner), form_(OwningForm(AOwner)) {
  if (!form_) throw EDXInputError(app::Sjis(u8"フォームが見つかりません"));
  joystick_ = std::make_unique<TJoystick>(this);
  keyboard_ = std::make_unique<TKeyboard>(this);
  mouse_ = std::make_unique<TMouse>(this);
  gamepad_ = std::make_unique<TGamepad>(this);
  Joystick = joystick_.get();
  Keyboard = keyboard_.get();
  Mouse = mouse_.get();
  Gamepad = gamepad_.get();
  old_window_proc_ = form_->WindowProc;
  form_->WindowProc = [this](app::TMessage& m) { FormWindowProc(m); };
}

TCustomDXInput::~TCustomDXInput() {
  FinalizeDevices();
  direct_input_ = nullptr;
  joystick_.reset();
  keyboard_.reset();
  mouse_.reset();
  gamepad_.reset();
  form_->WindowProc = old_window_proc_;
}

void TCustomDXInput::RemoveDevice(TCustomInput* device) {
  device_list_.erase(std::remove(device_list_.begin(), device_list_.end(), device), device_list_.end());
}

platform::Keyboard& TCustomDXInput::SystemKeyboard() const { return form_->App().Platform().GetKeyboard(); }

bool TCustomDXInput::FormIsForeground() const {
  return form_->HandleAllocated() && SystemKeyboard().ForegroundWindow() == form_->Handle().Id();
}

void TCustomDXInput::SetActiveOnly(bool value) {
  if (active_only_ == value) return;
  active_only_ = value;
  if (!Loading()) ApplyCooperativeLevels();
}

void TCustomDXInput::SetUseDirectInput(bool value) {
  if (use_direct_input_ == value) return;
  use_direct_input_ = value;
  if (!Loading()) Initialize();
}

void TCustomDXInput::Loaded() {
  app::TComponent::Loaded();
  Initialize();
}

void TCustomDXInput::FinalizeDevices() {
  for (TCustomInput* device : device_list_) device->Finalize();
}

void TCustomDXInput::Initialize() {
  FinalizeDevices();
  direct_input_ = nullptr;
  if (use_direct_input_ && SystemKeyboard().HasScanCodes()) direct_input_ = &SystemKeyboard();
  for (TCustomInput* device : device_list_) device->Initialize();
  ApplyCooperativeLevels();
  Update();
}

void TCustomDXInput::ApplyCooperativeLevels() {
  for (TCustomInput* device : device_list_) device->ApplyCooperativeLevel();
}

void TCustomDXInput::AcquireDevices() {
  for (TCustomInput* device : device_list_) {
    if (active_only_ && !FormIsForeground()) continue;
    device->Acquire();
  }
}

void TCustomDXInput::Update() {
  TDXInputStates merged;
  for (TCustomInput* device : device_list_) {
    device->Update();
    if (device->BindInputStates) merged += device->States();
  }
  // States changes only where a state entered or left the merged set.
  for (unsigned i = 0; i < kInputStateCount; ++i) {
    auto s = static_cast<TDXInputState>(i);
    if (merged.Contains(s) && !OldStates.Contains(s)) States.Include(s);
    if (!merged.Contains(s) && OldStates.Contains(s)) States.Exclude(s);
  }
  OldStates = merged;
}

void TCustomDXInput::FormWindowProc(app::TMessage& m) {
  old_window_proc_(m);
  switch (m.Msg) {
    case app::WM_CREATE:
      ApplyCooperativeLevels();
      break;
    case app::WM_ACTIVATE:
      if ((m.WParam & 0xFFFF) != 0) AcquireDevices();
      break;
    case app::WM_ACTIVATEAPP:
      if (m.WParam != 0) AcquireDevices();
      break;
    default:
      break;
  }
}

}  // namespace media
