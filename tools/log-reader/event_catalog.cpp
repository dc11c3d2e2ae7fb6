#include "event_catalog.h"

#include <algorithm>
#include <iterator>

namespace {

const EventDescription kEvents[] = {
#include "event_table.inc"
};

}  // namespace

EventTable AllEvents() { return EventTable{kEvents, std::size(kEvents)}; }

const EventDescription* FindEvent(int32_t code) {
  const EventDescription* end = kEvents + std::size(kEvents);
  const EventDescription* found = std::lower_bound(
      kEvents, end, code, [](const EventDescription& event, int32_t wanted) { return event.code < wanted; });
  return found != end && found->code == code ? found : nullptr;
}
