#pragma once

#include <string>
#include <vector>

#include "base/openssl_owners.h"

// A DER certificate file (the issuer built into the clients).
bool ReadDerCertificate(const std::string& path, X509Owner& certificate, std::string& error);

// Every certificate of a PEM file, in file order. A file with none fails, and
// so does one with a certificate block that does not read, wherever it is.
bool ReadPemCertificates(const std::string& path, std::vector<X509Owner>& certificates,
                         std::string& error);

// An unencrypted PEM private key.
bool ReadPemPrivateKey(const std::string& path, PrivateKeyOwner& key, std::string& error);
