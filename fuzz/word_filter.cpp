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
  if (server::IsUtf8(input)) {
    Check(server::IsUtf8(normalised));
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
