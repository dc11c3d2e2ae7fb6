// The one file that uses OpenSSL's engine interface: deprecated since
// OpenSSL 3.0, it is what Debian 12's PKCS #11 support for OpenSSL
// (libengine-pkcs11-openssl) offers; there is no PKCS #11 provider there.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "release/token_key.h"

#include <openssl/engine.h>

#include "base/openssl_errors.h"
#include "release/token_lookup.h"

namespace {

struct EngineFree {
  void operator()(ENGINE* engine) const { ENGINE_free(engine); }
};
using EngineReference = std::unique_ptr<ENGINE, EngineFree>;

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

// The pkcs11 engine, started on module (p11-kit's proxy of every module it
// knows when "") and quiet: its causes come back through the error queue.
bool StartEngine(const std::string& module, EngineOwner& started, std::string& error) {
  EngineReference engine(ENGINE_by_id("pkcs11"));
  if (!engine) {
    TakeOpenSslErrors();
    return Fail(error, "OpenSSL's pkcs11 engine is not installed (libengine-pkcs11-openssl)");
  }
  if ((!module.empty() &&
       ENGINE_ctrl_cmd_string(engine.get(), "MODULE_PATH", module.c_str(), 0) != 1) ||
      ENGINE_ctrl_cmd(engine.get(), "QUIET", 0, nullptr, nullptr, 0) != 1 ||
      ENGINE_init(engine.get()) != 1) {
    return Fail(error, "the pkcs11 engine does not start: " + TakeOpenSslErrors());
  }
  started.reset(engine.release());
  return true;
}

}  // namespace

void EngineRelease::operator()(ENGINE* engine) const {
  ENGINE_finish(engine);
  ENGINE_free(engine);
}

bool IsTokenUri(const std::string& signerKey) { return signerKey.rfind("pkcs11:", 0) == 0; }

bool LoadTokenKey(const TokenKeyRequest& request, EngineOwner& engine, PrivateKeyOwner& key,
                  std::string& error) {
  TokenTarget target;
  if (!FindTokenKey(request.uri, request.module, request.pin, target, error)) return false;
  if (!StartEngine(request.module, engine, error)) return false;
  if (ENGINE_ctrl_cmd_string(engine.get(), "PIN", request.pin.c_str(), 0) != 1) {
    return Fail(error, "the pkcs11 engine takes no PIN: " + TakeOpenSslErrors());
  }
  key.reset(ENGINE_load_private_key(engine.get(), request.uri.c_str(), nullptr, nullptr));
  return key || Fail(error, "no key loads from token \"" + target.token + "\": " +
                                TakeOpenSslErrors());
}
