#pragma once

// The program's start-up and shut-down, shared by the Qt program.
int wendmoor_main(int argc, char** argv);
