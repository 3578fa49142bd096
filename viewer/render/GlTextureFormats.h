// The texture formats the device offers and how OpenGL reads each one.
#pragma once

#include <cstddef>

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>

#include "viewer/platform/Device.h"

// The texture formats the device offers, in the order it offers them, with
// the GL packed type that reads each one.
struct TextureFormat {
    DDPIXELFORMAT pf;
    GLenum format;
    GLenum type;
    bool opaque;  // no alpha channel: sampled alpha is 1
};

// The formats in the order the device offers them.
const TextureFormat* TextureFormats(size_t& count);
// The offered format with exactly these flags, depth and masks, or null.
const TextureFormat* FindFormat(const DDPIXELFORMAT& pf);
