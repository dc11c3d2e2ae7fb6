#include "release/release_options.h"

#include <cstring>

#include "release/token_key.h"

const char kReleaseUsage[] =
    "usage: plumix-publish release --out DIR --check-frequency N --issuer ISSUER.der\n"
    "           --signer-cert PEM --signer-key (PEM | PKCS11-URI) [--chain PEM]...\n"
    "           --activex EXE --activex-64 EXE --plugin EXE --plugin-64 EXE\n"
    "           [--previous DIR] [--allow-older] [--candidate] [--pin-file FILE]\n"
    "           [--pkcs11-module SO]\n"
    "\n"
    "Signs the four installers as packages, writes the manifest that announces the version\n"
    "in their version resources, checks the whole tree as every client would see it, and\n"
    "only then puts it in DIR's release store and serves it to everyone from DIR. A refused\n"
    "release leaves DIR as it was.\n"
    "\n"
    "  --out DIR              the folder to publish into (made if missing); its release store\n"
    "                         keeps each release, and DIR serves the current one; the rest of\n"
    "                         DIR is left as it is\n"
    "  --check-frequency N    the check frequency the manifest announces, 1 to 4: the\n"
    "                         interval a client's task runs at after a check (1 hour for 1,\n"
    "                         2 hours for 2, 4 hours for 3 or 4); checks stay at most one a day\n"
    "  --issuer ISSUER.der    the issuer certificate built into the clients (DER)\n"
    "  --signer-cert PEM      the signer's certificate\n"
    "  --signer-key PEM       the signer's private key (unencrypted PEM), or\n"
    "  --signer-key pkcs11:token=LABEL;object=LABEL\n"
    "                         the key in a PKCS #11 token (RFC 7512 URI), which signs there\n"
    "  --pin-file FILE        the token's PIN, on the file's first line; without it, the\n"
    "                         PIN comes from the environment variable PLUMIX_PKCS11_PIN\n"
    "  --pkcs11-module SO     the token's PKCS #11 module; by default every module p11-kit\n"
    "                         is configured with\n"
    "  --chain PEM            certificates between the signer and the issuer, put into\n"
    "                         every package; repeatable\n"
    "  --activex EXE          the ActiveX installer for 32-bit Windows\n"
    "  --activex-64 EXE       the ActiveX installer for 64-bit Windows\n"
    "  --plugin EXE           the Plugin installer for 32-bit Windows\n"
    "  --plugin-64 EXE        the Plugin installer for 64-bit Windows\n"
    "  --previous DIR         the tree of the previous release: a lower announcement is\n"
    "                         refused, an equal one is a warning (default: the release DIR\n"
    "                         serves, if any)\n"
    "  --allow-older          publish a lower announcement than the previous anyway (warning)\n"
    "  --candidate            only store the release, as the candidate of a staged rollout\n"
    "                         (plumix-publish rollout start); DIR serves what it served\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 published (warnings may be printed); 1 refused, one line per reason on\n"
    "standard error (\"FILE: reason\"), nothing written; 2 usage error.\n";

namespace {

// Stores an option's value; a repeated single-valued option is an error.
bool Store(std::string& field, const char* name, const char* value, std::string& error) {
  if (!field.empty()) {
    error = std::string(name) + " given twice";
    return false;
  }
  field = value;
  return true;
}

std::string* SingleValued(ReleaseOptions& options, const char* name, std::string& frequency) {
  if (std::strcmp(name, "--out") == 0) return &options.out;
  if (std::strcmp(name, "--check-frequency") == 0) return &frequency;
  if (std::strcmp(name, "--issuer") == 0) return &options.issuer;
  if (std::strcmp(name, "--signer-cert") == 0) return &options.signerCert;
  if (std::strcmp(name, "--signer-key") == 0) return &options.signerKey;
  if (std::strcmp(name, "--previous") == 0) return &options.previous;
  if (std::strcmp(name, "--pin-file") == 0) return &options.pinFile;
  if (std::strcmp(name, "--pkcs11-module") == 0) return &options.pkcs11Module;
  for (int i = 0; i < kPackageCount; ++i) {
    if (std::strcmp(name, kPackageSlots[i].option) == 0) return &options.installers[i];
  }
  return nullptr;
}

bool CheckRequired(const ReleaseOptions& options, const std::string& frequency,
                   std::string& error) {
  const std::pair<const char*, const std::string*> required[] = {
      {"--out", &options.out},
      {"--check-frequency", &frequency},
      {"--issuer", &options.issuer},
      {"--signer-cert", &options.signerCert},
      {"--signer-key", &options.signerKey},
      {kPackageSlots[0].option, &options.installers[0]},
      {kPackageSlots[1].option, &options.installers[1]},
      {kPackageSlots[2].option, &options.installers[2]},
      {kPackageSlots[3].option, &options.installers[3]},
  };
  for (const auto& option : required) {
    if (option.second->empty()) {
      error = std::string(option.first) + " is required";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseUnsigned32(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > 0xFFFFFFFFu) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

OptionsResult ParseReleaseOptions(int argc, char* argv[], ReleaseOptions& options,
                                  std::string& error) {
  std::string frequency;
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
      return OptionsResult::Help;
    }
    if (std::strcmp(name, "--allow-older") == 0) {
      options.allowOlder = true;
      continue;
    }
    if (std::strcmp(name, "--candidate") == 0) {
      options.candidate = true;
      continue;
    }
    std::string* field = SingleValued(options, name, frequency);
    if (field == nullptr && std::strcmp(name, "--chain") != 0) {
      error = std::string("unknown option ") + name;
      return OptionsResult::Invalid;
    }
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      error = std::string(name) + " needs a value";
      return OptionsResult::Invalid;
    }
    const char* value = argv[++i];
    if (field == nullptr) {
      options.chain.push_back(value);
    } else if (!Store(*field, name, value, error)) {
      return OptionsResult::Invalid;
    }
  }
  if (!CheckRequired(options, frequency, error)) return OptionsResult::Invalid;
  if (!IsTokenUri(options.signerKey) && !(options.pinFile + options.pkcs11Module).empty()) {
    error = "--pin-file and --pkcs11-module go with a key in a token (--signer-key pkcs11:...)";
    return OptionsResult::Invalid;
  }
  if (!ParseUnsigned32(frequency, options.checkFrequency)) {
    error = "--check-frequency must be an unsigned decimal number below 4294967296";
    return OptionsResult::Invalid;
  }
  return OptionsResult::Parsed;
}
