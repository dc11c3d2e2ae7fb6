#pragma once

#include <string>

// A copy of the NUL-terminated text in which every ill-formed part of UTF-8
// is replaced by the encoding of U+FFFD (EF BF BD): one replacement for each
// maximal part of a sequence that could have begun well (a lead byte and the
// continuation bytes that fit it so far), one for each byte that cannot begin
// a sequence. Well-formed text comes back unchanged.
//
// The platform's UTF-8 conversion without flags does this replacement itself
// only from Windows Vista on; Windows XP drops ill-formed bytes instead, which
// can turn a text that names no host into one that names a different host.
// Text repaired here converts to the same UTF-16 on every version.
std::string RepairedUtf8(const char* text);
