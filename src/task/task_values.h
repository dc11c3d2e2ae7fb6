#pragma once

// What both scheduler versions give the task besides its name and program.

// The task's author (2.0) or creator (1.0).
extern const wchar_t TaskAuthor[];  // "Quorvel Systems Incorporated"

// One draw of the C runtime's cryptographic random source (rand_s): the
// random part of the task's start time. False when the draw failed.
bool DrawCryptoRandom(unsigned int* value);
