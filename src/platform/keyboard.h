#pragma once
// The keyboard as the input component reads it once per frame: the keys down at this moment, by
// set-1 scan code (the device path) or by virtual-key code (the system key-state table), and
// the window that has the keyboard. Nothing is buffered: a key pressed and let go between two
// reads is never seen.
#include <array>
#include <cstdint>
#include <memory>

namespace platform {

// 256 bytes, one per code; a key is down when bit 7 (0x80) of its byte is set.
using KeyTable = std::array<std::uint8_t, 256>;

inline constexpr std::uint8_t kKeyDown = 0x80;

class Keyboard {
 public:
  virtual ~Keyboard() = default;

  // Whether keys can be read by scan code; without it readers use KeyStates.
  virtual bool HasScanCodes() const = 0;
  // Keys down now, by set-1 scan code (extended keys have bit 7 of the code set).
  virtual void ScanCodesDown(KeyTable& out) = 0;
  // Keys down now, by Windows virtual-key code.
  virtual void KeyStates(KeyTable& out) = 0;
  // The id of the program's window that has the keyboard; 0 while another program has it.
  virtual std::uint32_t ForegroundWindow() = 0;
  // Counts every change of the window that has the keyboard.
  virtual std::uint32_t FocusSerial() = 0;
};

enum class InputResult {
  Ok,
  InputLost,    // the acquisition was lost (the window went to the background)
  NotAcquired,  // the device is not acquired
  OtherHasPriority,  // a foreground device cannot be acquired while its window is behind
};

// A keyboard read by scan code on behalf of one window. A foreground device can be acquired
// only while its window has the keyboard, and loses the acquisition as soon as the window does:
// its reader must acquire it again.
class KeyboardDevice {
 public:
  explicit KeyboardDevice(Keyboard& keyboard) : keyboard_(keyboard) {}

  // `window` is the id of the reading window; `foreground_only` binds the device to its focus.
  void SetCooperativeLevel(std::uint32_t window, bool foreground_only);
  InputResult Acquire();
  void Unacquire() { acquired_ = false; }
  bool Acquired() const { return acquired_; }
  // Clears `out` and, while acquired, fills it with the keys down by scan code.
  InputResult GetDeviceState(KeyTable& out);

 private:
  bool WindowInFront() const;

  Keyboard& keyboard_;
  std::uint32_t window_ = 0;
  bool foreground_only_ = false;
  bool acquired_ = false;
  std::uint32_t acquired_serial_ = 0;
};

}  // namespace platform
