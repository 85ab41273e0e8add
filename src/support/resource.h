#pragma once
// Identifiers shared by the resource script and the code.
#define IDD_ABOUT 100
#define IDC_ABOUT_ICON 101
#define IDC_ABOUT_TITLE 102
#define IDC_ABOUT_VERSION 103
#define IDC_ABOUT_COMPANY 104
#define IDC_ABOUT_CREDIT 105
