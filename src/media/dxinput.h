#pragma once
// Keyboard input turned into logical states once per frame.
//
// This first version reads no keys: every Update yields the empty set. The full keyboard input
// replaces it.
#include <cstdint>

#include "app/classes.h"

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
  bool operator==(const TDXInputStates&) const = default;

 private:
  std::uint64_t bits_ = 0;
};

class TDXInput : public app::TComponent {
 public:
  using app::TComponent::TComponent;
  bool ActiveOnly = true;
  bool UseDirectInput = true;
  TDXInputStates States;
  void Update() { States.Clear(); }
};

}  // namespace media
