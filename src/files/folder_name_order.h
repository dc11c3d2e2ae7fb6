#pragma once

#include "common/byte_string.h"

// The order of a folder listing. A name is numeric when every byte is a digit
// (the empty name counts as numeric). Numeric names compare by their value
// (leading zeros do not count, 9 before 10); a non-numeric name comes before a
// numeric one; non-numeric names compare byte by byte as unsigned values, a
// prefix first. Returns <0, 0 or >0.
int CompareFolderNames(const ByteString& a, const ByteString& b);
