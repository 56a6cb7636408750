#pragma once
// The root of the objects that wrap the platform's display, sound and input devices: each keeps
// the last result the platform gave it. Results are recorded, not raised; a subclass that must
// act on a result (a lost buffer, say) does so in its Check hook.
#include <cstdint>

#include "app/classes.h"
#include "app/sysutils.h"

namespace media {

using HRESULT = std::int32_t;
inline constexpr HRESULT DX_OK = 0;

class TDirectX : public app::TObject {
 public:
  HRESULT DXResult() const { return dx_result_; }
  void SetDXResult(HRESULT value) {
    dx_result_ = value;
    if (value != DX_OK) Check();
  }

 protected:
  // Called with every result that is not DX_OK, after it was recorded.
  virtual void Check() {}

 private:
  HRESULT dx_result_ = DX_OK;
};

class EDirectXError : public app::Exception {
 public:
  using Exception::Exception;
};

}  // namespace media
