#include "verify/content_digest.h"

#include <cstring>
#include <memory>

#include "verify/bound_handle.h"

namespace {

// One parameter of the decoded message in a buffer of its own size.
bool GetMessageParameter(const CryptFunctionTable& functions, HCRYPTMSG message, DWORD type,
                         std::unique_ptr<BYTE[]>& data, DWORD& size) {
  size = 0;
  if (!functions.getMessageParameter(message, type, 0, nullptr, &size)) return false;
  if (size == 0) return true;
  data.reset(new BYTE[size]);
  return functions.getMessageParameter(message, type, 0, data.get(), &size) != 0;
}

// The single value of the messageDigest attribute, still DER-encoded.
const CRYPT_ATTR_BLOB* FindMessageDigest(const CRYPT_ATTRIBUTES& attributes) {
  const CRYPT_ATTR_BLOB* value = nullptr;
  for (DWORD i = 0; i < attributes.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
    if (std::strcmp(attribute.pszObjId, szOID_RSA_messageDigest) != 0) continue;
    if (value != nullptr || attribute.cValue != 1) return nullptr;
    value = &attribute.rgValue[0];
  }
  return value;
}

bool DecodeOctetString(const CryptFunctionTable& functions, const CRYPT_ATTR_BLOB& encoded,
                       std::unique_ptr<BYTE[]>& decoded) {
  DWORD size = 0;
  if (!functions.decodeObject(kMessageEncoding, X509_OCTET_STRING, encoded.pbData, encoded.cbData,
                              0, nullptr, &size)) {
    return false;
  }
  decoded.reset(new BYTE[size]);
  return functions.decodeObject(kMessageEncoding, X509_OCTET_STRING, encoded.pbData,
                                encoded.cbData, 0, decoded.get(), &size) != 0;
}

bool SameBytes(const BYTE* a, DWORD aLength, const BYTE* b, DWORD bLength) {
  return aLength == bLength && std::memcmp(a, b, aLength) == 0;
}

}  // namespace

bool ContentMatchesSignedDigest(const CryptFunctionTable& functions, const BYTE* package,
                                DWORD packageLength) {
  BoundCryptMessage message(functions.closeMessage,
                            functions.openMessageToDecode(kMessageEncoding, 0, 0, 0, nullptr,
                                                          nullptr));
  if (!message.valid()) return false;
  if (!functions.updateMessage(message.get(), package, packageLength, TRUE)) return false;

  std::unique_ptr<BYTE[]> attributes;
  DWORD attributesSize = 0;
  if (!GetMessageParameter(functions, message.get(), CMSG_SIGNER_AUTH_ATTR_PARAM, attributes,
                           attributesSize)) {
    return GetLastError() == static_cast<DWORD>(CRYPT_E_ATTRIBUTES_MISSING);
  }
  // Wine answers a signer without signed attributes with success and size 0.
  if (attributesSize == 0) return true;

  const CRYPT_ATTR_BLOB* encodedDigest =
      FindMessageDigest(*reinterpret_cast<const CRYPT_ATTRIBUTES*>(attributes.get()));
  if (encodedDigest == nullptr) {
    SetLastError(static_cast<DWORD>(CRYPT_E_ATTRIBUTES_MISSING));
    return false;
  }
  std::unique_ptr<BYTE[]> signedDigest;
  if (!DecodeOctetString(functions, *encodedDigest, signedDigest)) return false;
  const CRYPT_DATA_BLOB& digest = *reinterpret_cast<const CRYPT_DATA_BLOB*>(signedDigest.get());

  std::unique_ptr<BYTE[]> computed;
  DWORD computedSize = 0;
  if (!GetMessageParameter(functions, message.get(), CMSG_COMPUTED_HASH_PARAM, computed,
                           computedSize)) {
    return false;
  }
  if (!SameBytes(digest.pbData, digest.cbData, computed.get(), computedSize)) {
    SetLastError(static_cast<DWORD>(CRYPT_E_HASH_VALUE));
    return false;
  }
  return true;
}
