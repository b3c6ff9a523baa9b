#pragma once
// The dialogue of a silent run: nothing is shown; the progress window starts the uninstall at
// once, and the run ends when the engine has finished and its last callback has run.
// Returns when the uninstall is over.
void RunSilentUninstall();
