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

// RandomDraw is a plain function pointer without a context, so the stream a
// draw reads is bound to the calling thread for the span of one call.
thread_local ClientStartDraws* boundDraws = nullptr;

bool DrawFromBoundStream(unsigned int* value) {
  *value = boundDraws->Next();
  return true;
}

class BindDraws {
 public:
  explicit BindDraws(ClientStartDraws* draws) { boundDraws = draws; }
  ~BindDraws() { boundDraws = nullptr; }
  BindDraws(const BindDraws&) = delete;
  BindDraws& operator=(const BindDraws&) = delete;
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

ClientStartDraws::ClientStartDraws(uint64_t seed, uint32_t client)
    : state_(MixDraw(seed, client, DrawPurpose::kStart, 0)) {}

unsigned int ClientStartDraws::Next() {
  state_ += kGolden;
  return static_cast<unsigned int>(Mix(state_) >> 32);
}

std::wstring ClientStartDraws::StartBoundary() {
  BindDraws bind(this);
  return RandomStartBoundary(DrawFromBoundStream);
}

StartTime ClientStartDraws::StartTimeV1() {
  BindDraws bind(this);
  return RandomStartTime(DrawFromBoundStream);
}
