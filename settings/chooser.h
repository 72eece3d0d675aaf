// Lets the user pick the folder to watch.
#pragma once

// Shows the shell's folder browser. True when a folder was picked and it is
// now WatchedFolder, stored in the registry and scanned; false when the user
// cancelled or the folder has no file-system path.
bool ChooseFolder();
