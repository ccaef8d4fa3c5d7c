// Resource ids of the demo screen saver, shared by saver.rc and the code.
#pragma once

// Windows shows string 1 of a screen saver as its name in the list of
// screen savers, and the desktop settings take the first icon.
#define IDS_SAVER_DESCRIPTION 1
#define IDI_SAVER_ICON 100
