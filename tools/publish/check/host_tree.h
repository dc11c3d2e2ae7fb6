#pragma once

#include <string>

#include "tree/findings.h"
#include "tree/published_tree.h"

// Fetches the manifest over HTTPS (port 443, the system's trust store or
// caFile) and the four packages over HTTP (port 80) from host, each with its
// client's user agent, as the clients do. A fetch that fails is a refusal
// named by its URL; an answer other than 200 is a warning, and its body is
// judged like any other, since the clients do not look at the status.
void LoadTreeFromHost(const std::string& host, const std::string& caFile, PublishedTree& tree,
                      Findings& findings);
