// Finding the face on Windows, which has no fontconfig: a Japanese face of the system's fonts
// folders, else the IPA P Gothic that comes beside the program.
#include <windows.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <vector>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

// Characters a face must have to show the program's text: a kanji, hiragana, katakana and a
// half-width katakana.
constexpr FT_ULong kJapaneseSamples[] = {0x6F22, 0x3042, 0x30A2, 0xFF71};

constexpr const char* kBundledFont = "ipagp.ttf";

struct Candidate {
  const wchar_t* file;
  const char* family;  // the face to take from a collection; null for its first that covers Japanese
};

// Proportional Gothic faces first, as the screens were laid out with one.
constexpr Candidate kSystemFaces[] = {
    {L"ipagp.ttf", nullptr},        {L"msgothic.ttc", "MS PGothic"}, {L"YuGothM.ttc", "Yu Gothic Medium"},
    {L"meiryo.ttc", "Meiryo"},      {L"YuGothR.ttc", nullptr},       {L"BIZ-UDGothicR.ttc", nullptr},
};
constexpr const wchar_t* kLatinFaces[] = {L"segoeui.ttf", L"arial.ttf", L"tahoma.ttf"};

std::vector<std::wstring> FontFolders() {
  std::vector<std::wstring> folders;
  wchar_t buf[MAX_PATH];
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) folders.push_back(std::wstring(buf, n) + L"\\Fonts\\");
  // Fonts installed for one user only.
  DWORD m = GetEnvironmentVariableW(L"LOCALAPPDATA", buf, MAX_PATH);
  if (m > 0 && m < MAX_PATH) folders.push_back(std::wstring(buf, m) + L"\\Microsoft\\Windows\\Fonts\\");
  return folders;
}

// FreeType opens files by narrow name; the short (8.3) name or UTF-8 does not reach every file,
// so only names that survive the system code page are used.
std::string OpenableName(const std::wstring& path) {
  bool ok = false;
  std::string narrow = win32::Narrow(path, CP_ACP, &ok);
  return ok ? narrow : std::string();
}

bool Covers(FT_Face face) {
  for (FT_ULong c : kJapaneseSamples)
    if (FT_Get_Char_Index(face, c) == 0) return false;
  return true;
}

// The face of the file that suits, by the rules of its candidate; false when none does.
bool PickFace(FT_Library library, const std::string& file, const char* family, bool need_japanese, FontFace& out) {
  FT_Long count = 1;
  for (FT_Long index = 0; index < count; ++index) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) return false;
    count = face->num_faces;
    bool japanese = Covers(face);
    bool wanted = FT_IS_SCALABLE(face) && (!need_japanese || japanese) &&
                  (!family || (face->family_name && std::string(face->family_name) == family));
    if (wanted) {
      out.file = file;
      out.index = static_cast<int>(index);
      out.family = face->family_name ? face->family_name : "";
      out.japanese = japanese;
    }
    FT_Done_Face(face);
    if (wanted) return true;
  }
  return false;
}

}  // namespace

FontFace FindTextFace(const char* /*config_file*/) {
  FontFace chosen;
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return chosen;
  const std::vector<std::wstring> folders = FontFolders();
  auto try_file = [&](const std::wstring& path, const char* family, bool need_japanese) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    std::string name = OpenableName(path);
    return !name.empty() && PickFace(library, name, family, need_japanese, chosen);
  };
  bool found = false;
  for (const Candidate& c : kSystemFaces)
    for (const std::wstring& folder : folders)
      if (!found) found = try_file(folder + c.file, c.family, true) || (c.family && try_file(folder + c.file, nullptr, true));
  if (!found) found = try_file(win32::ProgramFolder() + win32::Widen(kBundledFont, CP_UTF8), nullptr, true);
  for (const wchar_t* latin : kLatinFaces)
    for (const std::wstring& folder : folders)
      if (!found) found = try_file(folder + latin, nullptr, false);
  FT_Done_FreeType(library);
  return chosen;
}

std::string MissingFontAdvice(const FontFace& face) {
  if (face.japanese) return {};
  std::string what = face.file.empty() ? "no font was found, so no text is drawn"
                                       : "no Japanese font was found, so Japanese text shows as boxes";
  return "velkor: " + what + ". Put ipagp.ttf from the velkor zip file beside velkor.exe.";
}

}  // namespace platform
