// Fuzzes the word filter's normalisation of outside text (names and comments sent by anyone,
// words typed by the admin) and its matching. The first byte splits the input into a word and a
// text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/bans.h"
#include "server/word_filter.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto lead = static_cast<unsigned char>(s[i]);
    std::size_t len = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                    : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// Where the character holding byte `at` begins.
std::size_t CharStart(std::string_view s, std::size_t at) {
  while (at > 0 && at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) --at;
  return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string normalised = server::NormaliseForMatching(input);
  // Normalising what is normalised changes nothing: the filter's words and the texts meet in
  // one form.
  Check(server::NormaliseForMatching(normalised) == normalised);
  if (ValidUtf8(input)) {
    Check(ValidUtf8(normalised));
    // Character by character: a word found in a text is found in its normalised form.
    std::size_t cut = CharStart(input, data[0] % (input.size() + 1));
    std::string_view head = input.substr(0, cut), tail = input.substr(cut);
    Check(server::NormaliseForMatching(head) + server::NormaliseForMatching(tail) == normalised);
    server::WordFilter filter;
    filter.Set({std::string(tail)});
    Check(tail.empty() || server::NormaliseForMatching(tail).empty() || filter.Matches(input));
  }
  // Any text as a network: refused or understood, never a crash; what is understood is shown
  // in a form that is read back the same.
  if (auto network = server::ParseNetwork(input)) {
    auto again = server::ParseNetwork(network->ToString());
    Check(again && again->ToString() == network->ToString());
  }
  return 0;
}
