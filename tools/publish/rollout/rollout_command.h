#pragma once

// plumix-publish rollout: argv[0] is "rollout". Returns the exit status.
int RunRolloutCommand(int argc, char* argv[]);
