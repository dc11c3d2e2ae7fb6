#pragma once

#include <openssl/cms.h>

#include <string>

// Whether the package is the DER encoding of the message OpenSSL decoded from
// it, with nothing after it, and the signer's signed attributes in DER order.
//
// The clients hash and decode what they receive in ways that agree only on
// DER: Wine's crypt32 refuses indefinite lengths, and it hashes the signed
// attributes re-encoded in DER order where Windows and OpenSSL hash them in
// the order received. False, with the reason, otherwise.
bool IsDistinguishedEncoding(const std::string& package, CMS_ContentInfo* message,
                             CMS_SignerInfo* signer, std::string& reason);
