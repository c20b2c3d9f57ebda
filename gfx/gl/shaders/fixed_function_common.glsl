// The fixed-function state both stages read: one uniform block, refreshed only when it changes.
// std140, vec4-sized members only. The block's switches that pick code paths (texture kind,
// stage operations, lighting, vertex contents) are compiled into each program as the KEY_*
// constants below instead of read per vertex and pixel: a software rasteriser runs every
// branch of a uniform switch, while a constant one folds away.

struct Light {
    vec4 diffuse;
    vec4 specular;
    vec4 ambient;
    vec4 position;  // camera space; w = range
    vec4 direction; // camera space, toward where the light shines; w = falloff
    vec4 params;    // attenuation 0, 1, 2; light type
    vec4 cone;      // cos(theta / 2), cos(phi / 2)
};

layout(std140) uniform FixedFunction {
    mat4 uWorldView;
    mat4 uProjection;
    mat4 uNormalMatrix;
    vec4 uMaterialDiffuse;
    vec4 uMaterialAmbient;
    vec4 uMaterialSpecular;
    vec4 uMaterialEmissive;
    vec4 uGlobalAmbient;
    vec4 uMaterialPower;   // x
    ivec4 uColorSources;   // diffuse, ambient, specular, emissive: 0 material, 1 colour 1, 2 colour 2
    ivec4 uLighting;       // lighting on, specular on, normalize normals, local viewer
    ivec4 uVertexHas;      // diffuse, specular, normal, point size
    ivec4 uVertexMode;     // pretransformed, light count, point scaling, point sprites
    vec4 uPoint;           // size, minimum, maximum, viewport height
    vec4 uPointScale;      // A, B, C
    vec4 uViewport;        // x, y, width, height in render-target pixels
    vec4 uTarget;          // render-target height, half-pixel x and y in clip units, points
    Light uLights[8];
    ivec4 uColorStage;     // op, arg 1, arg 2, arg 0
    ivec4 uAlphaStage;     // op, arg 1, arg 2, arg 0
    ivec4 uPixel;          // texture kind (0 none, 1 2D, 2 cube, 3 volume), flat shading,
                           // alpha function (0 = no test), alpha reference 0..255
    vec4 uTextureFactor;
    vec4 uStageConstant;
};

const ivec4 kColorSources = ivec4(KEY_COLOR_SOURCES);
const ivec4 kLighting = ivec4(KEY_LIGHTING);
const ivec4 kVertexHas = ivec4(KEY_VERTEX_HAS);
const ivec4 kVertexMode = ivec4(KEY_VERTEX_MODE);
const ivec4 kColorStage = ivec4(KEY_COLOR_STAGE);
const ivec4 kAlphaStage = ivec4(KEY_ALPHA_STAGE);
const ivec4 kPixel = ivec4(KEY_PIXEL); // texture kind, flat shading, alpha function, points
