#pragma once

// plumix-publish release: argv[0] is "release". Returns the exit status.
int RunReleaseCommand(int argc, char* argv[]);
