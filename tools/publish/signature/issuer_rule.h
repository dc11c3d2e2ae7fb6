#pragma once

#include <openssl/x509.h>

// How far a certificate answers a lookup of crypt32 on the clients.
//
// The service finds a certificate's issuer with CERT_FIND_ISSUER_OF. Wine's
// crypt32 reads it this way: when the subject has an authority key identifier,
// the issuer is the certificate that the identifier names (issuer name and
// serial number when both are there, else the key identifier against the
// candidate's subject key identifier extension), and the names are not
// compared; without one, the issuer is the certificate whose subject name
// equals the subject's issuer name byte for byte. Windows documents less: it
// may compare the names as well, and where a candidate has no subject key
// identifier it derives one from the key (a SHA-1 hash). Message verification
// finds the signer by issuer name and serial number; Wine's also takes a
// certificate whose subject (not issuer) has that name and serial number.
//
// The publisher takes a certificate as the one a lookup finds only when every
// one of these readings agrees (Full). A certificate that some reading would
// find and another would not (Partial) means that the clients' answer depends
// on which crypt32 runs and on the order of the message's certificates, so the
// verifier refuses rather than guess.
enum class LookupMatch { None, Partial, Full };

// Whether candidate is the issuer of subject.
LookupMatch MatchIssuer(X509* candidate, X509* subject);

// Whether candidate is the signer named by issuer and serial number.
LookupMatch MatchSigner(X509* candidate, const X509_NAME* issuer, const ASN1_INTEGER* serial);
