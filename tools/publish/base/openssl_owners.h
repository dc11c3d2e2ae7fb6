#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

// One owner per kind of OpenSSL object; nothing else frees them.
template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
  void operator()(T* object) const { Free(object); }
};

namespace openssl_free {
inline void Bio(BIO* bio) { BIO_free_all(bio); }
inline void X509Stack(STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); }
inline void Memory(unsigned char* block) { OPENSSL_free(block); }
}  // namespace openssl_free

using X509Owner = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;
using PrivateKeyOwner = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using PrivateKeyContextOwner =
    std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using CmsOwner =
    std::unique_ptr<CMS_ContentInfo, OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BioOwner = std::unique_ptr<BIO, OpenSslDeleter<BIO, openssl_free::Bio>>;
using X509StackOwner =
    std::unique_ptr<STACK_OF(X509), OpenSslDeleter<STACK_OF(X509), openssl_free::X509Stack>>;
using OpenSslBytes =
    std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, openssl_free::Memory>>;
using BasicConstraintsOwner =
    std::unique_ptr<BASIC_CONSTRAINTS, OpenSslDeleter<BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_free>>;
using BignumOwner = std::unique_ptr<BIGNUM, OpenSslDeleter<BIGNUM, BN_free>>;
using AuthorityKeyIdOwner =
    std::unique_ptr<AUTHORITY_KEYID, OpenSslDeleter<AUTHORITY_KEYID, AUTHORITY_KEYID_free>>;
