// The device's one shader program: fixed-function lighting, texturing and
// the alpha test written in GLSL 3.30.
#pragma once

#include <string>

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>

// Compiles and links the program in the current context: its name, or 0 with
// the compiler's or linker's log in `error`.
GLuint BuildSceneProgram(std::string& error);
