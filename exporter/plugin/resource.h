// Resource identifiers of the TesselExp plug-in: string table and the export
// dialog's template and controls.
#pragma once

#define IDS_LIBDESCRIPTION 1
#define IDS_CATEGORY 2
#define IDS_CLASS_NAME 3
#define IDS_PARAMS 4
#define IDS_SPIN 5

#define IDD_EXPORT 101
#define IDC_STATIC_OBJECTS 1001
#define IDC_SAVE_ALL 1003
#define IDC_CENTRE_ON_BIPED 1005
#define IDC_ANIM_OBJECTS 1006
#define IDC_START_FRAME 1007
#define IDC_END_FRAME 1008
#define IDC_FRAME_STEP 1009
