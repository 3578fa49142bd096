#include "viewer/render/GlShaders.h"

namespace {

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;

uniform mat4 uWorldViewProjection;  // row-vector matrices, uploaded as they are
uniform mat3 uNormalMatrix;         // view space normals
uniform bool uLighting;
uniform bool uLightEnabled;
uniform vec3 uToLight;              // view space, unit length, towards the light
uniform vec4 uLightDiffuse;
uniform vec4 uLightAmbient;
uniform vec4 uGlobalAmbient;
uniform vec4 uMaterialDiffuse;
uniform vec4 uMaterialAmbient;
uniform vec4 uMaterialEmissive;

out vec4 vColour;
out vec2 vTexCoord;

void main() {
    vec4 clip = uWorldViewProjection * vec4(aPosition, 1.0);
    // Direct3D clip z runs from 0 to w, OpenGL's from -w to w.
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
    vTexCoord = aTexCoord;
    if (!uLighting) {
        vColour = vec4(1.0);
        return;
    }
    vec3 colour = uMaterialEmissive.rgb + uGlobalAmbient.rgb * uMaterialAmbient.rgb;
    if (uLightEnabled) {
        float k = max(dot(uNormalMatrix * aNormal, uToLight), 0.0);
        colour += uLightAmbient.rgb * uMaterialAmbient.rgb
                + uLightDiffuse.rgb * uMaterialDiffuse.rgb * k;
    }
    vColour = vec4(clamp(colour, 0.0, 1.0), clamp(uMaterialDiffuse.a, 0.0, 1.0));
}
)";

const char* const kFragmentShader = R"(#version 330 core
in vec4 vColour;
in vec2 vTexCoord;

uniform sampler2D uTexture;
uniform bool uTextured;
uniform int uAlphaFunc;    // D3DCMP_*
uniform float uAlphaRef;   // 0..255

out vec4 fragColour;

void main() {
    vec4 c = vColour;
    if (uTextured) {
        vec4 t = texture(uTexture, vTexCoord);
        c = vec4(c.rgb * t.rgb, t.a);
    }
    float a = floor(c.a * 255.0 + 0.5);
    bool pass = true;
    if (uAlphaFunc == 1) pass = false;
    else if (uAlphaFunc == 2) pass = a < uAlphaRef;
    else if (uAlphaFunc == 3) pass = a == uAlphaRef;
    else if (uAlphaFunc == 4) pass = a <= uAlphaRef;
    else if (uAlphaFunc == 5) pass = a > uAlphaRef;
    else if (uAlphaFunc == 6) pass = a != uAlphaRef;
    else if (uAlphaFunc == 7) pass = a >= uAlphaRef;
    if (!pass) discard;
    fragColour = c;
}
)";

GLuint CompileShader(GLenum kind, const char* source, std::string& error) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string("shader does not compile: ") + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GLuint BuildSceneProgram(std::string& error) {
    GLuint vs = CompileShader(GL_VERTEX_SHADER, kVertexShader, error);
    if (!vs) return 0;
    GLuint fs = CompileShader(GL_FRAGMENT_SHADER, kFragmentShader, error);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[1024] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        error = std::string("shader program does not link: ") + log;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}
