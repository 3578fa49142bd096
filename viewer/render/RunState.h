// The application's two run flags that steer the idle loop. The application
// object holds them; the main window reads them (a light change is drawn at
// once only while the animation is not playing).
#pragma once

struct RunState {
    bool m_bPlaying = false;        // the animation is running
    bool m_bRotatingLight = false;  // the light rotation is running
};
