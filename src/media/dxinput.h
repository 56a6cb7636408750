#pragma once
// Keyboard input turned into a small set of logical states once per frame.
//
// TDXInput owns four devices (joystick, keyboard, mouse, gamepad); each maps what it reads to
// states, and Update merges the states of the devices bound to them. The keyboard and the
// gamepads read; the joystick and mouse exist for the stored settings and report nothing.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "app/classes.h"
#include "app/forms.h"
#include "app/sysutils.h"
#include "platform/gamepad.h"
#include "platform/keyboard.h"

namespace media {

enum TDXInputState : unsigned {
  isUp, isDown, isLeft, isRight,
  isButton1, isButton2, isButton3, isButton4, isButton5, isButton6, isButton7, isButton8,
  isButton9, isButton10, isButton11, isButton12, isButton13, isButton14, isButton15, isButton16,
  isButton17, isButton18, isButton19, isButton20, isButton21, isButton22, isButton23, isButton24,
  isButton25, isButton26, isButton27, isButton28, isButton29, isButton30, isButton31, isButton32,
};
inline constexpr unsigned kInputStateCount = 36;

// A set of input states (36 bits).
class TDXInputStates {
 public:
  bool Contains(TDXInputState s) const { return (bits_ >> s) & 1u; }
  void Include(TDXInputState s) { bits_ |= std::uint64_t(1) << s; }
  void Exclude(TDXInputState s) { bits_ &= ~(std::uint64_t(1) << s); }
  bool Empty() const { return bits_ == 0; }
  void Clear() { bits_ = 0; }
  std::uint64_t Bits() const { return bits_; }
  TDXInputStates& operator+=(const TDXInputStates& other) {
    bits_ |= other.bits_;
    return *this;
  }
  bool operator==(const TDXInputStates&) const = default;

 private:
  std::uint64_t bits_ = 0;
};

class EDXInputError : public app::Exception {
 public:
  using app::Exception::Exception;
};

// Cooperative levels, as a device asks for them.
enum : unsigned {
  DISCL_EXCLUSIVE = 1, DISCL_NONEXCLUSIVE = 2, DISCL_FOREGROUND = 4, DISCL_BACKGROUND = 8,
};

// The virtual-key code of a keyboard scan code (set 1, extended keys with bit 7 set); 0 for a
// key the table does not know.
std::uint8_t ScanCodeToVirtualKey(std::uint8_t scan_code);

class TCustomDXInput;

// The base of the three devices.
class TCustomInput {
 public:
  explicit TCustomInput(TCustomDXInput* DXInput);
  virtual ~TCustomInput();
  TCustomInput(const TCustomInput&) = delete;
  TCustomInput& operator=(const TCustomInput&) = delete;

  bool BindInputStates = true;
  bool ForceFeedback = false;
  bool Enabled() const { return enabled_; }
  // A new value re-initialises the device, unless its form is still loading.
  void SetEnabled(bool value);
  bool Initialized() const { return initialized_; }
  // The device's own states from its last Update.
  const TDXInputStates& States() const { return states_; }
  TCustomDXInput* DXInput() const { return dxinput_; }

  virtual void Finalize();
  virtual void Initialize();
  virtual unsigned CooperativeLevel() const;
  virtual void Update() = 0;

  // Binds the device to the form's window with CooperativeLevel; a device read without the
  // scan-code path has nothing to bind.
  virtual void ApplyCooperativeLevel() {}
  virtual void Acquire() {}

 protected:
  TDXInputStates states_;
  bool enabled_ = true;
  bool initialized_ = false;
  bool force_feedback_supported_ = false;

 private:
  TCustomDXInput* dxinput_;
};

class TKeyboard : public TCustomInput {
 public:
  using TAssigns = std::array<std::array<std::int32_t, 3>, kInputStateCount>;
  static constexpr std::size_t kStoredAssignsSize = kInputStateCount * 3 * 4;

  explicit TKeyboard(TCustomDXInput* DXInput);

  // Keys down at the last Update, by virtual-key code (bit 7 set when down).
  platform::KeyTable Keys{};
  // Up to three virtual-key codes for each state; 0 is no key.
  TAssigns Assigns{};

  // A stored binary property of the keyboard. The key table is stored as 432 bytes (three
  // 32-bit little-endian codes per state, state after state) under "Assigns"; forms written
  // with the misspelt name "Aissgns" are read the same way. Returns false for any other name.
  // A block of another size raises EDXInputError and leaves the table as it was.
  bool ReadBinaryProperty(std::string_view name, std::span<const std::uint8_t> data);
  // The block stored under "Assigns".
  std::array<std::uint8_t, kStoredAssignsSize> AssignsData() const;

  void Finalize() override;
  void Initialize() override;
  void Update() override;
  void ApplyCooperativeLevel() override;
  void Acquire() override;

 private:
  bool ReadDevice(platform::KeyTable& scan_codes);

  std::unique_ptr<platform::KeyboardDevice> device_;
  platform::KeyTable scan_buffer_{};
};

class TMouse : public TCustomInput {
 public:
  explicit TMouse(TCustomDXInput* DXInput);
  void Update() override;
};

class TJoystick : public TCustomInput {
 public:
  explicit TJoystick(TCustomDXInput* DXInput);
  bool AutoCenter = true;
  int ID = 0;
  int DeadZoneX = 50, DeadZoneY = 50, DeadZoneZ = 50;
  int RangeX = 1000, RangeY = 1000, RangeZ = 1000;
  void Update() override;
};

// Every gamepad plugged in, together: the face buttons choose the arms in their own diamond
// (the top button the up arm, and so on) and so does the D-pad, as the direction keys do.
class TGamepad : public TCustomInput {
 public:
  explicit TGamepad(TCustomDXInput* DXInput);
  void Update() override;
};

class TCustomDXInput : public app::TComponent {
 public:
  // Raises EDXInputError when no form is among the owners.
  explicit TCustomDXInput(app::TComponent* AOwner);
  ~TCustomDXInput() override;

  // Created with the component, in this order, which is also the order of DeviceList.
  TJoystick* Joystick;
  TKeyboard* Keyboard;
  TMouse* Mouse;
  TGamepad* Gamepad;
  const std::vector<TCustomInput*>& DeviceList() const { return device_list_; }

  // While set, nothing is read while the form's window is not the foreground window.
  bool ActiveOnly() const { return active_only_; }
  void SetActiveOnly(bool value);
  // Reads the keyboard by scan code where the platform can; otherwise (or when cleared) through
  // the system key-state table. A new value re-initialises at once.
  bool UseDirectInput() const { return use_direct_input_; }
  void SetUseDirectInput(bool value);

  // The merged states of the last Update, which the game reads, and the set before them.
  TDXInputStates States;
  TDXInputStates OldStates;

  void Update();
  void Loaded() override;

  // --- For the devices ---
  app::TForm& Form() const { return *form_; }
  platform::Keyboard& SystemKeyboard() const;
  // The scan-code keyboard, or null when it is not in use.
  platform::Keyboard* DirectInput() const { return direct_input_; }
  bool FormIsForeground() const;
  bool Loading() const { return (ComponentState() & app::csLoading) != 0; }
  void AddDevice(TCustomInput* device) { device_list_.push_back(device); }
  void RemoveDevice(TCustomInput* device);

 private:
  void Initialize();
  void FinalizeDevices();
  void ApplyCooperativeLevels();
  void AcquireDevices();
  void FormWindowProc(app::TMessage& m);

  app::TForm* form_ = nullptr;
  app::TWndMethod old_window_proc_;
  std::vector<TCustomInput*> device_list_;
  std::unique_ptr<TJoystick> joystick_;
  std::unique_ptr<TKeyboard> keyboard_;
  std::unique_ptr<TMouse> mouse_;
  std::unique_ptr<TGamepad> gamepad_;
  platform::Keyboard* direct_input_ = nullptr;
  bool active_only_ = true;
  bool use_direct_input_ = true;
};

class TDXInput : public TCustomDXInput {
 public:
  using TCustomDXInput::TCustomDXInput;
};

}  // namespace media
