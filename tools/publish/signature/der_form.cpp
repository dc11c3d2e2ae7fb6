#include "signature/der_form.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/openssl_owners.h"

namespace {

std::string Encode(X509_ATTRIBUTE* attribute) {
  unsigned char* bytes = nullptr;
  int length = i2d_X509_ATTRIBUTE(attribute, &bytes);
  OpenSslBytes owner(bytes);
  return length > 0 ? std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(length))
                    : std::string();
}

// DER orders the members of a SET OF by their encodings, compared as bytes;
// crypt32 sorts a shorter one that is a prefix of another first.
bool InSetOrder(const std::string& a, const std::string& b) {
  int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return order < 0 || (order == 0 && a.size() <= b.size());
}

bool SignedAttributesInOrder(CMS_SignerInfo* signer) {
  std::string previous;
  for (int i = 0; i < CMS_signed_get_attr_count(signer); ++i) {
    std::string encoded = Encode(CMS_signed_get_attr(signer, i));
    if (encoded.empty() || (i > 0 && !InSetOrder(previous, encoded))) return false;
    previous = std::move(encoded);
  }
  return true;
}

}  // namespace

bool IsDistinguishedEncoding(const std::string& package, CMS_ContentInfo* message,
                             CMS_SignerInfo* signer, std::string& reason) {
  unsigned char* encoded = nullptr;
  int length = i2d_CMS_ContentInfo(message, &encoded);
  OpenSslBytes owner(encoded);
  if (length <= 0 || static_cast<size_t>(length) != package.size() ||
      std::memcmp(encoded, package.data(), package.size()) != 0) {
    reason =
        "the package is not in DER form (indefinite or long-form lengths, unsorted sets "
        "or bytes after the message)";
    return false;
  }
  if (!SignedAttributesInOrder(signer)) {
    reason =
        "the signed attributes are not in DER order (Wine's crypt32 would hash them "
        "differently from Windows)";
    return false;
  }
  return true;
}
