#include "release/token_lookup.h"

#include <p11-kit/p11-kit.h>
#include <p11-kit/uri.h>

#include <memory>
#include <vector>

namespace {

struct UriFree {
  void operator()(P11KitUri* uri) const { p11_kit_uri_free(uri); }
};
using UriOwner = std::unique_ptr<P11KitUri, UriFree>;

// The PKCS #11 modules a lookup reads, initialised for as long as it lasts:
// one module by its path, or every module p11-kit is configured with.
class LoadedModules {
 public:
  LoadedModules() = default;
  ~LoadedModules() {
    if (single_ != nullptr) {
      p11_kit_module_finalize(single_);
      p11_kit_module_release(single_);
    }
    if (configured_ != nullptr) p11_kit_modules_finalize_and_release(configured_);
  }
  LoadedModules(const LoadedModules&) = delete;
  LoadedModules& operator=(const LoadedModules&) = delete;

  bool Load(const std::string& path, std::string& error) {
    if (path.empty()) {
      configured_ = p11_kit_modules_load_and_initialize(0);
      for (CK_FUNCTION_LIST** module = configured_; module && *module; ++module) {
        modules_.push_back(*module);
      }
      return configured_ != nullptr || Fail(error, "p11-kit could not load its modules");
    }
    CK_FUNCTION_LIST* module = p11_kit_module_load(path.c_str(), 0);
    if (module == nullptr) return Fail(error, "the PKCS #11 module " + path + " does not load");
    if (p11_kit_module_initialize(module) != CKR_OK) {
      p11_kit_module_release(module);
      return Fail(error, "the PKCS #11 module " + path + " does not start");
    }
    single_ = module;
    modules_.push_back(module);
    return true;
  }

  const std::vector<CK_FUNCTION_LIST*>& modules() const { return modules_; }

 private:
  static bool Fail(std::string& error, const std::string& text) {
    error = text;
    return false;
  }

  CK_FUNCTION_LIST* single_ = nullptr;
  CK_FUNCTION_LIST** configured_ = nullptr;
  std::vector<CK_FUNCTION_LIST*> modules_;
};

// A fixed-width, blank-padded PKCS #11 text as a string.
std::string Padded(const unsigned char* text, size_t width) {
  std::string value(reinterpret_cast<const char*>(text), width);
  return value.substr(0, value.find_last_not_of(' ') + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Hex(const unsigned char* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// The key as the URI names it, "" when it names none.
std::string KeyNamed(P11KitUri* uri) {
  CK_ATTRIBUTE* label = p11_kit_uri_get_attribute(uri, CKA_LABEL);
  CK_ATTRIBUTE* id = p11_kit_uri_get_attribute(uri, CKA_ID);
  std::string named;
  if (label != nullptr) {
    named = "label " + Quoted(std::string(static_cast<const char*>(label->pValue),
                                          label->ulValueLen));
  }
  if (id != nullptr) {
    named += (named.empty() ? "id " : ", id ") +
             Hex(static_cast<const unsigned char*>(id->pValue), id->ulValueLen);
  }
  return named;
}

bool ReadUri(const std::string& text, UriOwner& uri, std::string& error) {
  uri.reset(p11_kit_uri_new());
  int parsed = p11_kit_uri_parse(text.c_str(), P11_KIT_URI_FOR_ANY, uri.get());
  if (parsed != P11_KIT_URI_OK) {
    error = std::string("not a PKCS #11 URI: ") + p11_kit_uri_message(parsed);
    return false;
  }
  if (p11_kit_uri_get_pin_value(uri.get()) != nullptr ||
      p11_kit_uri_get_pin_source(uri.get()) != nullptr) {
    error = "the URI carries the PIN, which the command line must not: give it with "
            "--pin-file or PLUMIX_PKCS11_PIN";
    return false;
  }
  if (KeyNamed(uri.get()).empty()) {
    error = "the URI names no key: add object=LABEL or id=%XX";
    return false;
  }
  return true;
}

// A token on a module's slot.
struct Slot {
  CK_FUNCTION_LIST* module;
  CK_SLOT_ID id;
  std::string label;
};

// The labels of the tokens present, and the slots of those the URI matches.
void ListTokens(const LoadedModules& modules, P11KitUri* uri, std::vector<std::string>& present,
                std::vector<Slot>& matching) {
  for (CK_FUNCTION_LIST* module : modules.modules()) {
    CK_ULONG count = 0;
    if (module->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK) continue;
    std::vector<CK_SLOT_ID> slots(count);
    if (count == 0 || module->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) continue;
    slots.resize(count);
    for (CK_SLOT_ID slot : slots) {
      CK_TOKEN_INFO token = {};
      if (module->C_GetTokenInfo(slot, &token) != CKR_OK) continue;
      std::string label = Padded(token.label, sizeof(token.label));
      present.push_back(Quoted(label));
      if (p11_kit_uri_match_token_info(uri, &token)) matching.push_back({module, slot, label});
    }
  }
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return joined.empty() ? "none" : joined;
}

// A session on a token, logged in as its user; it logs out and closes when
// it ends.
class UserSession {
 public:
  explicit UserSession(const Slot& slot) : slot_(slot) {}
  ~UserSession() {
    if (loggedIn_) slot_.module->C_Logout(session_);
    if (open_) slot_.module->C_CloseSession(session_);
  }
  UserSession(const UserSession&) = delete;
  UserSession& operator=(const UserSession&) = delete;

  bool LogIn(const std::string& pin, std::string& error);

  // How many private keys (none, one, more: 0, 1, 2) match the URI.
  bool CountKeys(P11KitUri* uri, CK_ULONG& count, std::string& error);

 private:
  const Slot& slot_;
  CK_SESSION_HANDLE session_ = 0;
  bool open_ = false;
  bool loggedIn_ = false;
};

bool UserSession::LogIn(const std::string& pin, std::string& error) {
  std::string token = "token " + Quoted(slot_.label);
  CK_RV opened = slot_.module->C_OpenSession(slot_.id, CKF_SERIAL_SESSION, nullptr, nullptr,
                                             &session_);
  if (opened != CKR_OK) {
    error = "no session opens on " + token + " (PKCS #11 error " + std::to_string(opened) + ")";
    return false;
  }
  open_ = true;
  CK_UTF8CHAR_PTR text = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin.data()));
  CK_RV login = slot_.module->C_Login(session_, CKU_USER, text, pin.size());
  loggedIn_ = login == CKR_OK;
  switch (login) {
    case CKR_OK:
    case CKR_USER_ALREADY_LOGGED_IN:
      return true;
    case CKR_PIN_INCORRECT:
      error = "the PIN is wrong for " + token;
      return false;
    case CKR_PIN_LOCKED:
      error = "the PIN of " + token + " is locked";
      return false;
    case CKR_PIN_EXPIRED:
      error = "the PIN of " + token + " has expired";
      return false;
    case CKR_PIN_INVALID:
    case CKR_PIN_LEN_RANGE:
      error = "the PIN is not one " + token + " takes";
      return false;
    default:
      error = "the login to " + token + " fails (PKCS #11 error " + std::to_string(login) + ")";
      return false;
  }
}

bool UserSession::CountKeys(P11KitUri* uri, CK_ULONG& count, std::string& error) {
  CK_OBJECT_CLASS privateKey = CKO_PRIVATE_KEY;
  std::vector<CK_ATTRIBUTE> wanted = {{CKA_CLASS, &privateKey, sizeof(privateKey)}};
  CK_ULONG named = 0;
  CK_ATTRIBUTE* attributes = p11_kit_uri_get_attributes(uri, &named);
  for (CK_ULONG i = 0; i < named; ++i) {
    if (attributes[i].type != CKA_CLASS) wanted.push_back(attributes[i]);
  }
  CK_OBJECT_HANDLE found[2];
  count = 0;
  CK_RV searched = slot_.module->C_FindObjectsInit(session_, wanted.data(), wanted.size());
  if (searched == CKR_OK) {
    searched = slot_.module->C_FindObjects(session_, found, 2, &count);
    slot_.module->C_FindObjectsFinal(session_);
  }
  if (searched != CKR_OK) {
    error = "the keys of token " + Quoted(slot_.label) + " cannot be searched (PKCS #11 error " +
            std::to_string(searched) + ")";
    return false;
  }
  return true;
}

bool FindSlot(P11KitUri* uri, const LoadedModules& modules, Slot& found, std::string& error) {
  std::vector<std::string> present;
  std::vector<Slot> matching;
  ListTokens(modules, uri, present, matching);
  if (matching.size() != 1) {
    error = std::string(matching.empty() ? "no token" : "more than one token") +
            " matches the URI (tokens present: " + Joined(present) + ")" +
            (matching.empty() ? "" : "; name one with token=LABEL");
    return false;
  }
  found = matching.front();
  return true;
}

}  // namespace

bool FindTokenKey(const std::string& text, const std::string& module, const std::string& pin,
                  TokenTarget& target, std::string& error) {
  UriOwner uri;
  LoadedModules modules;
  Slot slot = {};
  if (!ReadUri(text, uri, error) || !modules.Load(module, error) ||
      !FindSlot(uri.get(), modules, slot, error)) {
    return false;
  }
  target.token = slot.label;
  target.key = KeyNamed(uri.get());
  UserSession session(slot);
  CK_ULONG keys = 0;
  if (!session.LogIn(pin, error) || !session.CountKeys(uri.get(), keys, error)) return false;
  if (keys != 1) {
    error = "token " + Quoted(target.token) + " holds " +
            (keys == 0 ? "no private key" : "more than one private key") + " with " + target.key;
    return false;
  }
  return true;
}
