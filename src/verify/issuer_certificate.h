#pragma once

#include <cstdint>

// The DER certificate of the certification authority that signs the
// packages, built into the program (generated from PLUMIX_ISSUER_CERT, or
// from the development issuer made in the build tree). Only its key and
// name are used: its own validity period is never examined.
extern const uint8_t IssuerCertificate[];
extern const uint32_t IssuerCertificateLength;
