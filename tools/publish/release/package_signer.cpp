#include "release/package_signer.h"

#include <openssl/cms.h>

#include "base/openssl_errors.h"

namespace {

bool Fail(std::string& error, const char* step) {
  error = std::string(step) + ": " + TakeOpenSslErrors();
  return false;
}

}  // namespace

bool SignPackage(const std::string& content, const SigningIdentity& identity, std::string& package,
                 std::string& error) {
  const unsigned flags = CMS_BINARY | CMS_PARTIAL;
  CmsOwner message(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  if (!message) return Fail(error, "creating the message");
  if (CMS_add1_signer(message.get(), identity.signer.get(), identity.key.get(), EVP_sha256(),
                      flags) == nullptr) {
    return Fail(error, "adding the signer");
  }
  for (const X509Owner& certificate : identity.chain) {
    if (CMS_add1_cert(message.get(), certificate.get()) != 1) {
      return Fail(error, "adding a chain certificate");
    }
  }
  BioOwner in(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  if (!in || CMS_final(message.get(), in.get(), nullptr, CMS_BINARY) != 1) {
    return Fail(error, "signing the content");
  }
  unsigned char* encoded = nullptr;
  int length = i2d_CMS_ContentInfo(message.get(), &encoded);
  OpenSslBytes owner(encoded);
  if (length <= 0) return Fail(error, "encoding the message");
  package.assign(reinterpret_cast<char*>(encoded), static_cast<size_t>(length));
  return true;
}
