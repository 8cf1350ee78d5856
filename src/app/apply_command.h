#pragma once

struct ApplyCommand;

// Runs `orvane --apply`: corrects and saves every file, telling each in the order given, where
// it went on stdout or why not on stderr (and, on a terminal, the progress on stderr). Returns the
// exit status: 0 when every photo was saved, 1 otherwise.
int runApplyCommand(const ApplyCommand &command);
