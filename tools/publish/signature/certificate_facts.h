#pragma once

#include <openssl/x509.h>

#include <ctime>
#include <string>

// A certificate's subject as one line, RFC 2253 style ("CN=...,O=...").
std::string SubjectText(X509* certificate);

// "2027-03-01 12:00:00 UTC" for the certificate's notAfter; "" when the time
// does not read.
std::string ExpiryText(X509* certificate);

// Whether now lies within the certificate's validity period (both ends
// included, as crypt32's time check has it). A time that does not read
// counts as outside.
bool ValidAt(X509* certificate, time_t now);

// Whether the certificate's notAfter lies before now + seconds.
bool ExpiresWithin(X509* certificate, time_t now, long seconds);

// Whether basic constraints mark the certificate as a certification authority,
// as the service reads them: the extension must be there and say CA:TRUE. A
// version 1 certificate, which OpenSSL may treat as an authority, is not one.
bool IsCertificationAuthority(X509* certificate);

// Why no client verifies signatures with the certificate's key, or "" when
// every client does: the key must be RSA (Wine refuses ECDSA) with a public
// exponent of at most 32 bits (crypt32's key blob holds it in 32 bits).
std::string ClientKeyProblem(X509* certificate);

// Whether the certificate is signed with RSA PKCS #1 v1.5 over SHA-1,
// SHA-256, SHA-384 or SHA-512: what crypt32 verifies on every client
// (RSA-PSS is left out on purpose).
bool SignedWithClientAlgorithm(X509* certificate);

// Whether OpenSSL found every extension well-formed and none twice.
bool HasWellFormedExtensions(X509* certificate);
