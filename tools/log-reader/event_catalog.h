#pragma once

#include <cstddef>
#include <cstdint>

#include "log/install_log_line.h"

// What follows an event's code on its line, after one space.
enum class EventValue {
  None,
  ErrorNumber,  // the Windows error number or HRESULT, signed decimal
  ControlCode,  // a service control code, decimal
  HostName,     // a host name, the rest of the line
};

// One event code the service writes, as event_codes.tsv describes it.
struct EventDescription {
  int32_t code;
  LogLevel level;  // the level the service writes it at
  EventValue value;
  const char* meaning;
};

// Every event, in ascending code order.
struct EventTable {
  const EventDescription* begin;
  std::size_t count;
};
EventTable AllEvents();

// The event of this code, or null for a code the service never writes.
const EventDescription* FindEvent(int32_t code);
