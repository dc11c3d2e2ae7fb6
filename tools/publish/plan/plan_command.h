#pragma once

// plumix-publish plan: argv[0] is "plan". Returns the exit status.
int RunPlanCommand(int argc, char* argv[]);
