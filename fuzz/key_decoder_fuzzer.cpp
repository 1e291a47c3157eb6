// The terminal key decoder on any bytes: it never reads past its input, every
// input is consumed or held as the start of a longer sequence, it never gives
// more keys than it was given bytes, and once no more input is coming it
// always makes progress. Splitting the same bytes across reads gives the same
// keys as reading them whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal_keys.h"

namespace {

using qmr::keys::decoded;

// Decodes like the key wait does: what is decoded is taken off the front; the
// rest waits for more bytes, unless the input has ended.
std::vector<qmr::keys::key_code> decode_all(std::string_view bytes, std::size_t chunk) {
  std::vector<qmr::keys::key_code> keys;
  std::string pending;
  std::size_t fed = 0;
  while (fed < bytes.size() || !pending.empty()) {
    const bool ended = fed >= bytes.size();
    if (!ended) {
      const std::size_t take = std::min(chunk, bytes.size() - fed);
      pending.append(bytes.substr(fed, take));
      fed += take;
    }
    std::size_t start = 0;
    while (start < pending.size()) {
      const std::string_view rest(pending.data() + start, pending.size() - start);
      const decoded d = qmr::keys::decode_terminal_input(rest, ended);
      if (d.consumed > rest.size())
        std::abort();  // read past the input
      if (d.what == decoded::kind::need_more) {
        if (d.consumed != 0 || ended)
          std::abort();  // ended input must always move on
        break;
      }
      if (d.consumed == 0)
        std::abort();  // no progress: the wait would spin
      if (d.what == decoded::kind::key)
        keys.push_back(d.key);
      start += d.consumed;
    }
    pending.erase(0, start);
  }
  if (keys.size() > bytes.size())
    std::abort();
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  // The first byte picks how the rest is split into reads.
  const std::size_t chunk = 1 + data[0] % 16;
  // A copy of exactly the input's size, so that the sanitizer sees any read past it.
  const std::vector<char> bytes(data + 1, data + size);
  const std::string_view input(bytes.data(), bytes.size());
  const auto whole = decode_all(input, input.size() + 1);
  if (decode_all(input, chunk) != whole) {
    // Bytes that arrive in pieces give other keys than the same bytes at once.
    // Only a sequence cut exactly where the input ended may differ, and the
    // decoder is told that input ended only after all of it was fed.
    std::abort();
  }
  return 0;
}
