#pragma once
// The root of the objects that wrap the platform's display, sound and input devices: each keeps
// the last result the platform gave it. Results are recorded, not raised; a subclass that must
// act on a result (a lost buffer, say) does so in its Check hook. Also the exception classes of
// the display wrappers and the loader of the platform's run-time libraries.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/classes.h"
#include "app/sysutils.h"

namespace platform {
class Platform;
}

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

class EDirectDrawError : public EDirectXError {
 public:
  using EDirectXError::EDirectXError;
};

class EDirectDrawPaletteError : public EDirectDrawError {
 public:
  using EDirectDrawError::EDirectDrawError;
};

class EDirectDrawClipperError : public EDirectDrawError {
 public:
  using EDirectDrawError::EDirectDrawError;
};

class EDirectDrawSurfaceError : public EDirectDrawError {
 public:
  using EDirectDrawError::EDirectDrawError;
};

// Loads a platform library by file name (once per platform) and makes sure it exports the
// function; raises Exception "%s を読み込めません" with the file name otherwise.
void DXLoadLibrary(platform::Platform& Platform, const std::string& FileName, const std::string& FuncName);

// A message of the program's string table with its argument, in CP932.
std::string DXMessage(std::u8string_view pattern, const std::string& argument);

}  // namespace media
