// Feeds arbitrary text to the calendar codecs (events and tasks) as a server
// could send it: it must read as an item, or raise ICalError or
// OtherComponentError, never crash. What reads must write back (with its
// UID) to an object that reads again with the same canonical text, UID and
// SEQUENCE, and writing that again gives the same text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/ical_codec.h"

using namespace velklk::server;

namespace {

void RoundTrip(const ItemKindCodec& codec, std::string_view text) {
  ItemKindCodec::Decoded first;
  try {
    first = codec.Decode(text, {});
  } catch (const OtherComponentError&) {
    return;
  } catch (const ICalError&) {
    return;
  }
  const std::string uid = first.uid.value_or("00000000A71C6B19E4D3425F0000000000000001");
  const std::chrono::sys_seconds revision{std::chrono::seconds(1806739200)};
  const auto written = codec.Encode(first.data, uid, revision, first.sequence);
  const auto second = codec.Decode(written.text, {});
  if (second.canonical != first.canonical) __builtin_trap();
  if (written.canonical != second.canonical) __builtin_trap();
  if (second.uid != uid || second.sequence != first.sequence) __builtin_trap();
  if (codec.Encode(second.data, uid, revision, first.sequence).text != written.text)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto events = MakeEventCodec("Europe/Berlin");
  static const auto tasks = MakeTaskCodec("Europe/Berlin");
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  RoundTrip(*events, text);
  RoundTrip(*tasks, text);
  return 0;
}
