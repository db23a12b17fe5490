// Resource identifiers shared by the resource script and the code.
#pragma once

// The lowest icon id is the one Explorer shows for the executable.
#define IDI_VEXLO 1

// Pictures are stored as their GIF files under the custom type "GIF";
// status picture n is IDG_INFO0 + n.
#define IDG_INFO0 100
#define IDG_INFO1 101
#define IDG_INFO2 102
#define IDG_INFO3 103
#define IDG_INFO4 104
#define IDG_BALLOON 110

// Child controls of the main window.
#define IDC_CHKTOP 1001
#define IDC_CHKVIEW 1002
