// Vectors and row-vector matrices for the generator (left-handed, translation in the fourth row,
// a point is transformed as v' = v M), the conventions of the program that draws the assets.
#pragma once

#include <array>
#include <cmath>

namespace halv::assetgen {

struct Vec3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
    return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(double s, Vec3 a) {
    return a * s;
}
inline double dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) {
    return std::sqrt(dot(a, a));
}
inline Vec3 normalize(Vec3 a) {
    const double l = length(a);
    return l > 0 ? a * (1.0 / l) : a;
}

// m[row][column].
struct Mat4 {
    std::array<std::array<double, 4>, 4> m{};

    static Mat4 identity() {
        Mat4 r;
        for (int i = 0; i < 4; ++i) {
            r.m[i][i] = 1;
        }
        return r;
    }
    static Mat4 scaling(double s) {
        Mat4 r = identity();
        r.m[0][0] = r.m[1][1] = r.m[2][2] = s;
        return r;
    }
    static Mat4 translation(Vec3 t) {
        Mat4 r = identity();
        r.m[3][0] = t.x;
        r.m[3][1] = t.y;
        r.m[3][2] = t.z;
        return r;
    }
    // Turns by `radians` about x; positive turns +y towards +z.
    static Mat4 rotationX(double radians) {
        Mat4 r = identity();
        const double c = std::cos(radians);
        const double s = std::sin(radians);
        r.m[1][1] = c;
        r.m[1][2] = s;
        r.m[2][1] = -s;
        r.m[2][2] = c;
        return r;
    }
    // Turns by `radians` about y; positive turns +z towards +x.
    static Mat4 rotationY(double radians) {
        Mat4 r = identity();
        const double c = std::cos(radians);
        const double s = std::sin(radians);
        r.m[0][0] = c;
        r.m[0][2] = -s;
        r.m[2][0] = s;
        r.m[2][2] = c;
        return r;
    }
    // Turns by `radians` about z; positive turns +x towards +y.
    static Mat4 rotationZ(double radians) {
        Mat4 r = identity();
        const double c = std::cos(radians);
        const double s = std::sin(radians);
        r.m[0][0] = c;
        r.m[0][1] = s;
        r.m[1][0] = -s;
        r.m[1][1] = c;
        return r;
    }
    // Roll about z first, then pitch about x, then yaw about y.
    static Mat4 rotationYawPitchRoll(double yaw, double pitch, double roll) {
        return rotationZ(roll) * rotationX(pitch) * rotationY(yaw);
    }

    friend Mat4 operator*(const Mat4& a, const Mat4& b) {
        Mat4 r;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) {
                    sum += a.m[i][k] * b.m[k][j];
                }
                r.m[i][j] = sum;
            }
        }
        return r;
    }

    Vec3 transformPoint(Vec3 v) const {
        const double w = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + m[3][3];
        const Vec3 r{v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0],
                     v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1],
                     v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2]};
        return r * (1.0 / w);
    }
    Vec3 transformDirection(Vec3 v) const {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0],
                v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    }
};

// Inverse of a matrix whose last column is (0, 0, 0, 1): the frames and placements used here.
Mat4 inverseAffine(const Mat4& a);

constexpr double kPi = 3.14159265358979323846;

inline double degrees(double d) {
    return d * kPi / 180.0;
}

} // namespace halv::assetgen
