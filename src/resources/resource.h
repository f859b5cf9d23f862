#pragma once
// Identifiers of the dialog templates and their controls, shared by the resource script and
// the dialog procedures.

#define IDD_CONFIG 2003
#define IDD_ABOUT 105

// Setup dialog
#define IDC_DELAY 1014
#define IDC_LONGER 1038
#define IDC_SHORTER 1039
#define IDC_FULL_SCREEN 1020
#define IDC_LARGE 1022
#define IDC_SMALL 1021
#define IDC_COLLAGE 1032
#define IDC_SLIDE_SHOW 1033
#define IDC_CENTERED 1026
#define IDC_SCATTERED 1027
#define IDC_ABOUT 1030
#define IDC_PATH 1046
#define IDC_BROWSE 1047
#define IDC_SUBDIRS 1048
#define IDC_RANDOM 1019

// About box
#define IDC_WEB_SITE 1038

// The maker's web site: the caption of the web button and the address it opens.
#define FV_WEB_ADDRESS "https://fotovane.example/"
