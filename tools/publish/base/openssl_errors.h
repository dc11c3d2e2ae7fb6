#pragma once

#include <string>

// OpenSSL's error queue as one line ("" when it is empty), and the queue
// emptied, so the next failure reads only its own errors.
std::string TakeOpenSslErrors();
