// Resource and command ids of the viewer: the menu commands, the dialog
// templates and the controls of the control panel and the colour dialogs.
#pragma once

// Menu, icon and window title.
constexpr int IDR_MAINFRAME = 128;

// Dialog templates.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_CONTROL = 130;
constexpr int IDD_BACKCOLOR = 131;
constexpr int IDD_LIGHTCOLOR = 132;

// Menu commands.
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_VIEW_CONTROLBOX = 32774;
constexpr int ID_BACKGROUND_COLOUR = 32780;
constexpr int ID_LIGHT_COLOUR = 32781;
constexpr int ID_WIREFRAME = 32782;

// Dialog buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Control panel.
constexpr int IDC_PLAY = 1000;
constexpr int IDC_STEP = 1001;
constexpr int IDC_SHOW_BIPED = 1002;
constexpr int IDC_BIPED_FILE = 1003;
constexpr int IDC_OPEN_BIPED = 1004;
constexpr int IDC_BODY_FILE = 1005;
constexpr int IDC_HELMET_FILE = 1006;
constexpr int IDC_ARMOUR_FILE = 1007;
constexpr int IDC_WEAPON_FILE = 1010;
constexpr int IDC_SHOES_FILE = 1011;
constexpr int IDC_SHOW_BODY = 1012;
constexpr int IDC_SHOW_HELMET = 1013;
constexpr int IDC_SHOW_ARMOUR = 1014;
constexpr int IDC_SHOW_WEAPON = 1017;
constexpr int IDC_SHOW_SHOES = 1018;
constexpr int IDC_FPS = 1019;
constexpr int IDC_OPEN_BODY = 1020;
constexpr int IDC_OPEN_HELMET = 1021;
constexpr int IDC_OPEN_ARMOUR = 1022;
constexpr int IDC_OPEN_WEAPON = 1025;
constexpr int IDC_OPEN_SHOES = 1026;
constexpr int IDC_CHARACTER_FRAME = 1027;
constexpr int IDC_TESSEL_FILE = 1031;
constexpr int IDC_SHOW_TESSEL = 1032;
constexpr int IDC_OPEN_TESSEL = 1033;
constexpr int IDC_TESSEL_FRAME = 1034;
constexpr int IDC_LIGHT_ROTATION = 1035;
constexpr int IDC_LIGHT_COLOUR = 1036;
constexpr int IDC_BACKGROUND_COLOUR = 1037;

// Colour dialogs.
constexpr int IDC_SLIDER_RED = 1028;
constexpr int IDC_SLIDER_GREEN = 1029;
constexpr int IDC_SLIDER_BLUE = 1030;
constexpr int IDC_RED_TEXT = 1031;
constexpr int IDC_GREEN_TEXT = 1032;
constexpr int IDC_BLUE_TEXT = 1033;
