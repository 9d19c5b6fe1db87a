/* Control and resource identifiers shared by the dialog template and the code. */
#pragma once

#define IDI_VORMLIN 103
#define IDC_START 1
#define IDC_DIRECTORY 1000
#define IDC_ZERO_SAVE 1001
#define IDC_ZERO_UNUSED 1002
#define IDC_HELP_BUTTON 1003
#define IDC_VERSION 1004
#define IDC_PICK_DIR 1005
#define IDC_GAMES_LIST 1006
#define IDC_NO_HEADER 1007
#define IDC_CONVERT_FAM 1008
