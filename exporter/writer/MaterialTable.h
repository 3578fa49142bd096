// The exporter's table of the scene's materials: every material used in the
// scene once, in the order it was first met. The texture references look
// materials up in it.
#pragma once

#include "exporter/host/MaxScene.h"

class MaterialTable : public Tab<Mtl*> {
public:
    // Appends m unless it is null or already in the table; 1 when appended.
    int AppendUnique(Mtl* m);
    // Index of the first entry equal to m, or -1.
    int IndexOf(Mtl* m) const;
};
