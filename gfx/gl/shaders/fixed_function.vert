// Vertex processing of the fixed pipeline: row-vector transforms, z from 0..w to GL's -w..w,
// the pixel-centre shift, vertex lighting and point sizes.

layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec4 aTexCoord;
layout(location = 5) in float aPointSize;

out vec4 vDiffuse;
out vec4 vSpecular;
flat out vec4 vDiffuseFlat;
flat out vec4 vSpecularFlat;
out vec4 vTexCoord;

vec4 colourFrom(int source, vec4 material) {
    if (source == 1 && kVertexHas.x != 0) {
        return aDiffuse;
    }
    if (source == 2 && kVertexHas.y != 0) {
        return aSpecular;
    }
    return material;
}

void lightVertex(vec3 cameraPosition) {
    vec4 cd = colourFrom(kColorSources.x, uMaterialDiffuse);
    vec4 ca = colourFrom(kColorSources.y, uMaterialAmbient);
    vec4 cs = colourFrom(kColorSources.z, uMaterialSpecular);
    vec4 ce = colourFrom(kColorSources.w, uMaterialEmissive);

    // Without a normal every dot product is 0: only the ambient and emissive terms remain.
    vec3 normal = kVertexHas.z != 0 ? mat3(uNormalMatrix) * aNormal : vec3(0.0);
    if (kLighting.z != 0 && dot(normal, normal) > 0.0) {
        normal = normalize(normal);
    }
    vec3 toEye = -cameraPosition;
    toEye = dot(toEye, toEye) > 0.0 ? normalize(toEye) : vec3(0.0, 0.0, -1.0);

    vec3 ambient = uGlobalAmbient.rgb;
    vec3 diffuse = vec3(0.0);
    vec3 specular = vec3(0.0);
    for (int i = 0; i < kVertexMode.y; ++i) {
        Light light = uLights[i];
        int type = int(light.params.w);
        vec3 toLight;
        float amount = 1.0;
        if (type == 3) {
            toLight = -light.direction.xyz;
        } else {
            vec3 offset = light.position.xyz - cameraPosition;
            float distance = length(offset);
            if (distance > light.position.w) {
                continue;
            }
            toLight = distance > 0.0 ? offset / distance : vec3(0.0);
            float falloff = light.params.x + light.params.y * distance +
                            light.params.z * distance * distance;
            amount = falloff > 0.0 ? 1.0 / falloff : 1.0;
            if (type == 2) {
                float rho = dot(-light.direction.xyz, toLight);
                float inner = light.cone.x;
                float outer = light.cone.y;
                if (rho <= outer) {
                    amount = 0.0;
                } else if (rho <= inner) {
                    amount *= pow((rho - outer) / max(inner - outer, 1e-6), light.direction.w);
                }
            }
        }
        ambient += amount * light.ambient.rgb;
        float nDotL = max(dot(normal, toLight), 0.0);
        diffuse += light.diffuse.rgb * nDotL * amount;
        if (kLighting.y != 0) {
            vec3 halfway = kLighting.w != 0 ? toEye + toLight : vec3(0.0, 0.0, 1.0) + toLight;
            halfway = dot(halfway, halfway) > 0.0 ? normalize(halfway) : vec3(0.0);
            float nDotH = dot(normal, halfway);
            if (nDotH > 0.0) {
                specular += light.specular.rgb * pow(nDotH, uMaterialPower.x) * amount;
            }
        }
    }
    vDiffuse = vec4(clamp(ce.rgb + ca.rgb * ambient + cd.rgb * diffuse, 0.0, 1.0),
                    clamp(cd.a, 0.0, 1.0));
    vSpecular = kLighting.y != 0 ? vec4(clamp(cs.rgb * specular, 0.0, 1.0), 0.0) : vec4(0.0);
}

void main() {
    vec3 cameraPosition = vec3(0.0);
    if (kVertexMode.x != 0) {
        // Screen coordinates and 1/w: no transform, only the mapping to GL's clip space.
        float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
        vec2 pixel = aPosition.xy + vec2(0.5);
        vec2 ndc = vec2(2.0 * (pixel.x - uViewport.x) / uViewport.z - 1.0,
                        2.0 * (uViewport.y + uViewport.w - pixel.y) / uViewport.w - 1.0);
        gl_Position = vec4(ndc * w, (2.0 * aPosition.z - 1.0) * w, w);
    } else {
        vec4 camera = uWorldView * vec4(aPosition.xyz, 1.0);
        cameraPosition = camera.xyz;
        vec4 clip = uProjection * camera;
        // Points shift a sixty-fourth of a pixel less, so that a square edge on a
        // pixel centre counts for the top and left edges, as in the triangle rules.
        clip.xy += uTarget.yz * clip.w * (kPixel.w != 0 ? 1.0 - 1.0 / 32.0 : 1.0);
        clip.z = 2.0 * clip.z - clip.w;
        gl_Position = clip;
    }

    if (kLighting.x != 0 && kVertexMode.x == 0) {
        lightVertex(cameraPosition);
    } else {
        vDiffuse = kVertexHas.x != 0 ? aDiffuse : vec4(1.0);
        vSpecular = kVertexHas.y != 0 ? aSpecular : vec4(0.0);
    }
    vDiffuseFlat = vDiffuse;
    vSpecularFlat = vSpecular;
    vTexCoord = aTexCoord;

    float size = kVertexHas.w != 0 ? aPointSize : uPoint.x;
    if (kVertexMode.z != 0 && kVertexMode.x == 0) {
        float distance = length(cameraPosition);
        float scale = uPointScale.x + uPointScale.y * distance + uPointScale.z * distance * distance;
        size = scale > 0.0 ? uPoint.w * size * sqrt(1.0 / scale) : uPoint.z;
    }
    gl_PointSize = min(max(size, uPoint.y), uPoint.z);
}
