// Texture stage 0, the specular add and the alpha test of the fixed pipeline.

in vec4 vDiffuse;
in vec4 vSpecular;
flat in vec4 vDiffuseFlat;
flat in vec4 vSpecularFlat;
in vec4 vTexCoord;

uniform sampler2D uTexture2D;
uniform samplerCube uTextureCube;
uniform sampler3D uTextureVolume;

out vec4 fragColor;

vec4 diffuse;
vec4 specular;
vec4 texel;

vec4 argument(int selector) {
    vec4 value;
    switch (selector & 15) {
    case 0: // D3DTA_DIFFUSE
    case 1: // D3DTA_CURRENT: the diffuse colour on the first stage
        value = diffuse;
        break;
    case 2:
        value = texel;
        break;
    case 3:
        value = uTextureFactor;
        break;
    case 4:
        value = specular;
        break;
    case 6:
        value = uStageConstant;
        break;
    default: // D3DTA_TEMP starts as zero
        value = vec4(0.0);
        break;
    }
    if ((selector & 32) != 0) {
        value = value.aaaa;
    }
    if ((selector & 16) != 0) {
        value = vec4(1.0) - value;
    }
    return value;
}

vec4 operation(int op, vec4 a1, vec4 a2, vec4 a0) {
    switch (op) {
    case 2:
        return a1;
    case 3:
        return a2;
    case 4:
        return a1 * a2;
    case 5:
        return a1 * a2 * 2.0;
    case 6:
        return a1 * a2 * 4.0;
    case 7:
        return a1 + a2;
    case 8:
        return a1 + a2 - 0.5;
    case 9:
        return (a1 + a2 - 0.5) * 2.0;
    case 10:
        return a1 - a2;
    case 11:
        return a1 + a2 * (1.0 - a1);
    case 12:
        return mix(a2, a1, diffuse.a);
    case 13:
        return mix(a2, a1, texel.a);
    case 14:
        return mix(a2, a1, uTextureFactor.a);
    case 15:
        return a1 + a2 * (1.0 - texel.a);
    case 16:
        return mix(a2, a1, diffuse.a);
    case 18:
        return vec4(a1.rgb + a1.a * a2.rgb, a1.a);
    case 19:
        return vec4(a1.rgb * a2.rgb + a1.a, a1.a);
    case 20:
        return vec4((1.0 - a1.a) * a2.rgb + a1.rgb, a1.a);
    case 21:
        return vec4((1.0 - a1.rgb) * a2.rgb + a1.a, a1.a);
    case 24:
        return vec4(dot((a1.rgb - 0.5) * 2.0, (a2.rgb - 0.5) * 2.0));
    case 25:
        return a0 + a1 * a2;
    case 26:
        return a0 * a1 + (vec4(1.0) - a0) * a2;
    default:
        return a1;
    }
}

bool alphaPasses(float alpha) {
    int value = int(floor(clamp(alpha, 0.0, 1.0) * 255.0 + 0.5));
    int reference = uPixel.w;
    switch (kPixel.z) {
    case 1:
        return false;
    case 2:
        return value < reference;
    case 3:
        return value == reference;
    case 4:
        return value <= reference;
    case 5:
        return value > reference;
    case 6:
        return value != reference;
    case 7:
        return value >= reference;
    default:
        return true;
    }
}

void main() {
    diffuse = kPixel.y != 0 ? vDiffuseFlat : vDiffuse;
    specular = kPixel.y != 0 ? vSpecularFlat : vSpecular;
    vec2 spriteCoord = gl_PointCoord;
    vec4 coord = vTexCoord;
    if (kVertexMode.w != 0) {
        coord = vec4(spriteCoord, 0.0, 1.0);
    }
    // A stage without a texture reads opaque white.
    texel = vec4(1.0);
    if (kPixel.x == 1) {
        texel = texture(uTexture2D, coord.xy);
    } else if (kPixel.x == 2) {
        texel = texture(uTextureCube, coord.xyz);
    } else if (kPixel.x == 3) {
        texel = texture(uTextureVolume, coord.xyz);
    }

    vec4 result = diffuse;
    if (kColorStage.x != 1) {
        vec3 colour = operation(kColorStage.x, argument(kColorStage.y), argument(kColorStage.z),
                                argument(kColorStage.w)).rgb;
        float alpha = diffuse.a;
        if (kAlphaStage.x != 1) {
            alpha = operation(kAlphaStage.x, argument(kAlphaStage.y), argument(kAlphaStage.z),
                              argument(kAlphaStage.w)).a;
        }
        result = clamp(vec4(colour, alpha), 0.0, 1.0);
    }
    if (kLighting.y != 0) {
        result.rgb = clamp(result.rgb + specular.rgb, 0.0, 1.0);
    }
    if (!alphaPasses(result.a)) {
        discard;
    }
    fragColor = result;
}
