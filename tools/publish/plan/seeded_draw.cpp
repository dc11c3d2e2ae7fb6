#include "plan/seeded_draw.h"

namespace {

// SplitMix64's finaliser: every input bit reaches every output bit.
uint64_t Mix(uint64_t value) {
  value ^= value >> 30;
  value *= 0xBF58476D1CE4E5B9ULL;
  value ^= value >> 27;
  value *= 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

// One client's stream, read in order.
struct ClientStream {
  const StartDrawSource& source;
  uint32_t client;
  uint32_t next;
};

// RandomDraw is a plain function pointer without a context, so the stream a
// draw reads is bound to the calling thread for the span of one call.
thread_local ClientStream* boundStream = nullptr;

bool DrawFromBoundStream(unsigned int* value) {
  *value = boundStream->source.Draw(boundStream->client, boundStream->next++);
  return true;
}

class BindStream {
 public:
  explicit BindStream(ClientStream* stream) { boundStream = stream; }
  ~BindStream() { boundStream = nullptr; }
  BindStream(const BindStream&) = delete;
  BindStream& operator=(const BindStream&) = delete;
};

}  // namespace

uint64_t MixDraw(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index) {
  uint64_t value = Mix(seed + kGolden);
  value = Mix(value ^ ((static_cast<uint64_t>(purpose) << 32) | client));
  return Mix(value ^ (static_cast<uint64_t>(index) * kGolden));
}

uint32_t DrawBelow(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index,
                   uint32_t bound) {
  uint64_t high = MixDraw(seed, client, purpose, index) >> 32;
  return static_cast<uint32_t>((high * bound) >> 32);
}

double DrawUnit(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index) {
  return static_cast<double>(MixDraw(seed, client, purpose, index) >> 11) * 0x1.0p-53;
}

unsigned int SeededStartDraws::Draw(uint32_t client, uint32_t index) const {
  return static_cast<unsigned int>(MixDraw(seed_, client, DrawPurpose::kStart, index) >> 32);
}

std::wstring ClientStartBoundary(const StartDrawSource& source, uint32_t client) {
  ClientStream stream{source, client, 0};
  BindStream bind(&stream);
  return RandomStartBoundary(DrawFromBoundStream);
}

StartTime ClientStartTimeV1(const StartDrawSource& source, uint32_t client) {
  ClientStream stream{source, client, 0};
  BindStream bind(&stream);
  return RandomStartTime(DrawFromBoundStream);
}
