#include "base/openssl_errors.h"

#include <openssl/err.h>

std::string TakeOpenSslErrors() {
  std::string text;
  char line[256];
  for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error()) {
    ERR_error_string_n(error, line, sizeof(line));
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}
