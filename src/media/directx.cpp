#include "media/directx.h"

#include "app/sjis.h"
#include "platform/platform.h"

namespace media {

void DXLoadLibrary(platform::Platform& Platform, const std::string& FileName, const std::string& FuncName) {
  if (!Platform.LoadLibraryFunction(FileName, FuncName))
    throw app::Exception(DXMessage(u8"%s を読み込めません", FileName));
}

std::string DXMessage(std::u8string_view pattern, const std::string& argument) {
  return app::Format(app::Sjis(pattern), {argument});
}

}  // namespace media
