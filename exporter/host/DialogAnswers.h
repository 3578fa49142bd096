// How the batch host answers the export dialog: which objects to take (all,
// or those highlighted by name), the texts typed into the frame fields, and
// the centring check box.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ExportDialogAnswers {
    enum class Take { None, All, Selected };
    Take take = Take::None;
    std::vector<std::string> names;  // items to highlight for Take::Selected
    std::optional<std::string> startFrame, endFrame, frameStep;
    bool centre = true;
};
