#pragma once

// plumix-publish check: argv[0] is "check". Returns the exit status.
int RunCheckCommand(int argc, char* argv[]);
