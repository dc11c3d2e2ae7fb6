#include "update/update_check_interval.h"

bool IsUpdateCheckDueAt(uint64_t lastUpdateCheck, uint64_t now) {
  return lastUpdateCheck + kUpdateCheckInterval < now;
}
