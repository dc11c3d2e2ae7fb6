#pragma once

// plumix-publish health: argv[0] is "health". Returns 0 when the candidate
// passes the gate or there is no verdict yet, 1 when it fails or a file
// cannot be read, 2 for a usage error.
int RunHealthCommand(int argc, char* argv[]);
