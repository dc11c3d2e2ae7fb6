#pragma once

#include <string>

// DIR serves its current release through two links of its own, so that any
// static server (following links, as nginx does by default) serves the
// paths the clients request:
//   DIR/pub          -> .plumix-publish/current/pub
//   DIR/release.json -> .plumix-publish/current/release.json
// and the store's current link names the release, so that one rename
// switches both at once.

// Whether DIR's "pub" and "release.json" can be the tool's links: missing,
// already those links, or the tree an earlier version of the tool wrote in
// place (a "pub" folder beside a "release.json" file). False, with the
// entry and what to do in error (a reason about DIR), for anything else (the operator's own
// files keep their place and the release is refused).
bool CheckServedLinks(const std::string& dir, std::string& error);

// Makes name the release served to everyone: a new current link renamed over
// the old one (RENAME_NOREPLACE on the first release, so a link made at the
// same moment is never overwritten), flushed, then DIR's two links made
// where missing (replacing an earlier version's tree in one exchange each).
// A crash at any moment leaves DIR serving the old release or the new one,
// whole.
bool ServeRelease(const std::string& dir, const std::string& name, std::string& error);
