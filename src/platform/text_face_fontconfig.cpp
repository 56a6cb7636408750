// Finding the face through fontconfig, as the desktop would.
#include <fontconfig/fontconfig.h>

#include "platform/text.h"

namespace platform {
namespace {

// Characters a face must have to show the program's text: a kanji, hiragana, katakana and a
// half-width katakana.
constexpr FcChar32 kJapaneseSamples[] = {0x6F22, 0x3042, 0x30A2, 0xFF71};

bool CoversJapanese(FcPattern* font) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  for (FcChar32 c : kJapaneseSamples)
    if (!FcCharSetHasChar(charset, c)) return false;
  return true;
}

FontFace FaceOf(FcPattern* font, bool japanese) {
  FontFace face;
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch) face.file = reinterpret_cast<char*>(file);
  int index = 0;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) face.index = index;
  FcChar8* family = nullptr;
  if (FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch)
    face.family = reinterpret_cast<char*>(family);
  face.japanese = japanese;
  return face;
}

bool IsOutline(FcPattern* font) {
  FcBool outline = FcFalse;
  return FcPatternGetBool(font, FC_OUTLINE, 0, &outline) == FcResultMatch && outline;
}

}  // namespace

FontFace FindTextFace(const char* config_file) {
  // A configuration of our own, dropped once the face is known: fontconfig is asked only once.
  FcConfig* config = nullptr;
  if (config_file) {
    config = FcConfigCreate();
    if (config && !(FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(config_file), FcTrue) &&
                    FcConfigBuildFonts(config))) {
      FcConfigDestroy(config);
      config = nullptr;
    }
  } else {
    config = FcInitLoadConfigAndFonts();
  }
  if (!config) return {};

  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("IPAPGothic"));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* sorted = FcFontSort(config, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);

  FontFace chosen;
  FontFace latin;
  if (sorted) {
    for (int i = 0; i < sorted->nfont; ++i) {
      FcPattern* font = sorted->fonts[i];
      if (!IsOutline(font)) continue;
      if (CoversJapanese(font)) {
        chosen = FaceOf(font, true);
        break;
      }
      if (latin.file.empty()) latin = FaceOf(font, false);
    }
    FcFontSetDestroy(sorted);
  }
  FcConfigDestroy(config);
  return chosen.file.empty() ? latin : chosen;
}

std::string MissingFontAdvice(const FontFace& face) {
  if (face.japanese) return {};
  std::string what = face.file.empty() ? "no font was found, so no text is drawn"
                                       : "no Japanese font was found, so Japanese text shows as boxes";
  return "velkor: " + what +
         ". Install the Debian package fonts-ipafont-gothic (sudo apt-get install fonts-ipafont-gothic).";
}

}  // namespace platform
