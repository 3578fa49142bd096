// The library's dialog resource: template IDD_EXPORT, "Building Export".
#include "exporter/host/HostUi.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/plugin/resource.h"

const DialogTemplate& ExportDialogTemplate() {
    static const unsigned long list = LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT |
                                      LBS_EXTENDEDSEL | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
    static const unsigned long edit = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    static const DialogTemplate t{
        IDD_EXPORT,
        "Building Export",
        290,
        185,
        {
            {IDC_STATIC_OBJECTS, ControlKind::ListBox, "", 7, 20, 86, 158, list},
            {IDOK, ControlKind::PushButton, "선택한 오브젝트 저장", 198, 113, 85, 17, WS_TABSTOP},
            {IDC_SAVE_ALL, ControlKind::PushButton, "모두 저장", 198, 138, 85, 16, WS_TABSTOP},
            {IDCANCEL, ControlKind::PushButton, "취   소", 198, 161, 85, 17, WS_TABSTOP},
            {IDC_CENTRE_ON_BIPED, ControlKind::CheckBox,
             "바이패드의 최상위부모(Bip01?)를 기준으로 앞뒤 좌표를 가운데로 이동시킨다.", 196, 20,
             87, 39, BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP},
            {IDC_START_FRAME, ControlKind::Edit, "", 242, 60, 41, 12, edit},
            {-1, ControlKind::Static, "시작 Frame :", 192, 62, 41, 9, SS_LEFT | WS_GROUP},
            {-1, ControlKind::Static, "끝 Frame :", 202, 78, 37, 9, SS_LEFT | WS_GROUP},
            {-1, ControlKind::Static, "Frame Step :", 196, 95, 41, 9, SS_LEFT | WS_GROUP},
            {IDC_END_FRAME, ControlKind::Edit, "", 242, 76, 41, 12, edit},
            {IDC_FRAME_STEP, ControlKind::Edit, "", 242, 94, 41, 12, edit},
            {IDC_ANIM_OBJECTS, ControlKind::ListBox, "", 99, 20, 89, 159, list},
            {-1, ControlKind::Static, "움직이지 않는 Object", 9, 7, 82, 9, SS_CENTER | WS_GROUP},
            {-1, ControlKind::Static, "Animation 되는 Object", 102, 7, 82, 9, SS_CENTER | WS_GROUP},
        },
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
        WS_EX_TOOLWINDOW,
        "MS Sans Serif",
        8,
    };
    return t;
}

void RegisterResources(HINSTANCE instance) {
    RegisterDialogTemplate(instance, ExportDialogTemplate());
}
