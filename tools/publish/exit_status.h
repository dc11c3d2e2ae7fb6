#pragma once

// What plumix-publish tells the script that called it.
enum ExitStatus : int {
  kExitDone = 0,     // done; warnings may have been printed
  kExitRefused = 1,  // refused: one line per reason on standard error, nothing written
  kExitUsage = 2,    // the command line was not understood
};
