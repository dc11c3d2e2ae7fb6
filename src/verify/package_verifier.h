#pragma once

#include <cstdint>
#include <memory>

#include "verify/crypt_function_table.h"

// The most issuer lookups one verification makes while it walks up the
// message's certificate chain.
extern const uint32_t MaxChainLookups;

// Checks one downloaded package, a PKCS #7 SignedData message in DER with
// the installer as its attached content, against an issuer certificate and
// extracts the content. Owns crypt32.dll from the first verification on.
class PackageVerifier {
 public:
  // issuer stays owned by the caller and must outlive the verifier, as must
  // the platform, whose loadLibrary loads crypt32.dll.
  PackageVerifier(const uint8_t* issuer, uint32_t issuerLength,
                  const PlatformAccess& platform = kSystemPlatform);

  // True with the content in a new buffer when the signature of the signer
  // of index 0 verifies, the content matches its signed digest, every link
  // of the message's chain verifies (signature and the subject's validity
  // period, each issuer a certification authority) and the chain's top was
  // signed by the issuer within its own validity period. Fails closed: on
  // false the outputs are not to be used and the last-error value tells the
  // cause. Logs nothing. Loads crypt32.dll on the first call only; a failed
  // load is tried again on the next call.
  bool VerifyAndExtract(const uint8_t* package, uint32_t packageLength,
                        std::unique_ptr<uint8_t[]>& content, uint32_t& contentLength);

  // The bound crypt32 functions; null before the first successful binding.
  const CryptFunctionTable* functions() const { return functions_.get(); }

 private:
  bool Bind();

  const PlatformAccess& platform_;
  std::unique_ptr<CryptFunctionTable> functions_;
  const uint8_t* issuer_;
  uint32_t issuerLength_;
};
