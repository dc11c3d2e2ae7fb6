#pragma once

#include <windows.h>

#include "verify/crypt_function_table.h"

// Whether the content of a signed message matches what its signer of index 0
// signed. When that signer has signed attributes, the signature covers the
// attributes and only the messageDigest attribute ties them to the content;
// Wine's CryptVerifyMessageSignature never compares the two, so the verifier
// does: the hash the decoder computes over the content must equal the
// messageDigest value. A signer without signed attributes passes here (its
// signature covers the content itself). False, with the last-error value set,
// for a message that does not decode, signed attributes without exactly one
// messageDigest value, or a digest that differs (CRYPT_E_HASH_VALUE).
bool ContentMatchesSignedDigest(const CryptFunctionTable& functions, const BYTE* package,
                                DWORD packageLength);
