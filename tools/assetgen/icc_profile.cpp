// ICC profile bytes: a 128-byte header, a tag table, then the tag data, all big-endian.
#include "tools/assetgen/icc_profile.h"

#include <array>
#include <cmath>
#include <string>

namespace halv::assetgen {
namespace {

using Matrix3 = std::array<std::array<double, 3>, 3>;

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                r[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return r;
}

Matrix3 inverse(const Matrix3& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 r{};
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return r;
}

std::array<double, 3> xyToXyz(double x, double y) {
    return {x / y, 1.0, (1 - x - y) / y};
}

// Columns are the XYZ of the red, green and blue primaries relative to the D50 white, as the
// profile connection space wants them (Bradford adaptation from D65).
Matrix3 adaptedPrimaries() {
    const std::array<std::array<double, 2>, 3> primaries{
        {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}};
    Matrix3 p{};
    for (int c = 0; c < 3; ++c) {
        const auto xyz = xyToXyz(primaries[c][0], primaries[c][1]);
        for (int r = 0; r < 3; ++r) {
            p[r][c] = xyz[r];
        }
    }
    const auto white = xyToXyz(0.3127, 0.3290);
    const Matrix3 pInverse = inverse(p);
    std::array<double, 3> scale{};
    for (int r = 0; r < 3; ++r) {
        scale[r] =
            pInverse[r][0] * white[0] + pInverse[r][1] * white[1] + pInverse[r][2] * white[2];
    }
    Matrix3 rgbToXyz{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            rgbToXyz[r][c] = p[r][c] * scale[c];
        }
    }
    const Matrix3 bradford{
        {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    const std::array<double, 3> d50{0.9642, 1.0, 0.8249};
    Matrix3 gain{};
    for (int i = 0; i < 3; ++i) {
        double source = 0;
        double target = 0;
        for (int k = 0; k < 3; ++k) {
            source += bradford[i][k] * white[k];
            target += bradford[i][k] * d50[k];
        }
        gain[i][i] = target / source;
    }
    const Matrix3 adapt = multiply(inverse(bradford), multiply(gain, bradford));
    return multiply(adapt, rgbToXyz);
}

class Writer {
public:
    void u8(std::uint8_t v) { mBytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v >> 16));
        u16(static_cast<std::uint16_t>(v));
    }
    void tag(const char* signature) {
        for (int i = 0; i < 4; ++i) {
            u8(static_cast<std::uint8_t>(signature[i]));
        }
    }
    // s15Fixed16Number.
    void fixed(double v) {
        u32(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536.0))));
    }
    void zeros(std::size_t count) { mBytes.insert(mBytes.end(), count, 0); }
    void alignTo4() {
        while (mBytes.size() % 4 != 0) {
            u8(0);
        }
    }
    void putU32At(std::size_t offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            mBytes[offset + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(v >> (24 - 8 * i));
        }
    }
    std::size_t size() const { return mBytes.size(); }
    std::vector<std::uint8_t> take() { return std::move(mBytes); }

private:
    std::vector<std::uint8_t> mBytes;
};

// D50 as profiles encode it: X 0.9642, Y 1.0, Z 0.8249 rounded to the codes readers expect.
void writeD50(Writer& w) {
    w.u32(0x0000F6D6);
    w.u32(0x00010000);
    w.u32(0x0000D32D);
}

} // namespace

std::vector<std::uint8_t> makeIccProfile() {
    const Matrix3 primaries = adaptedPrimaries();
    const std::string description = "Halvorine RGB";
    const std::string copyright = "No copyright, use freely";

    Writer w;
    // Header; the size goes in at the end.
    w.u32(0);
    w.zeros(4);        // preferred colour management module: none
    w.u32(0x02100000); // version 2.1
    w.tag("mntr");     // display device
    w.tag("RGB ");
    w.tag("XYZ ");
    const std::uint16_t created[6] = {2024, 3, 14, 21, 7, 30};
    for (std::uint16_t v : created) {
        w.u16(v);
    }
    w.tag("acsp");
    w.zeros(4 + 4 + 4 + 4 + 8); // platform, flags, manufacturer, model, attributes
    w.u32(0);                   // perceptual intent
    writeD50(w);                // illuminant of the connection space
    w.tag("HALV");              // creator
    w.zeros(44);                // profile ID and reserved bytes, up to 128

    struct Entry {
        const char* signature;
        std::size_t offset;
        std::size_t size;
    };
    const char* signatures[] = {"desc", "wtpt", "rXYZ", "gXYZ", "bXYZ",
                                "rTRC", "gTRC", "bTRC", "cprt"};
    constexpr std::size_t kTags = 9;
    const std::size_t tableOffset = w.size();
    w.u32(kTags);
    w.zeros(kTags * 12);
    Entry entries[kTags];

    auto begin = [&](int index) {
        w.alignTo4();
        entries[index] = {signatures[index], w.size(), 0};
    };
    auto end = [&](int index) { entries[index].size = w.size() - entries[index].offset; };

    begin(0); // textDescriptionType: ASCII, then empty Unicode and ScriptCode parts
    w.tag("desc");
    w.zeros(4);
    w.u32(static_cast<std::uint32_t>(description.size() + 1));
    for (char c : description) {
        w.u8(static_cast<std::uint8_t>(c));
    }
    w.u8(0);
    w.u32(0);
    w.u32(0);
    w.u16(0);
    w.u8(0);
    w.zeros(67);
    end(0);

    auto xyz = [&](int index, double x, double y, double z) {
        begin(index);
        w.tag("XYZ ");
        w.zeros(4);
        w.fixed(x);
        w.fixed(y);
        w.fixed(z);
        end(index);
    };
    begin(1); // media white: the connection space's D50
    w.tag("XYZ ");
    w.zeros(4);
    writeD50(w);
    end(1);
    for (int c = 0; c < 3; ++c) {
        xyz(2 + c, primaries[0][c], primaries[1][c], primaries[2][c]);
    }

    begin(5); // one curve shared by the three channels: a pure power of 2.2 (u8Fixed8)
    w.tag("curv");
    w.zeros(4);
    w.u32(1);
    w.u16(static_cast<std::uint16_t>(std::lround(2.2 * 256.0)));
    end(5);
    entries[6] = {signatures[6], entries[5].offset, entries[5].size};
    entries[7] = {signatures[7], entries[5].offset, entries[5].size};

    begin(8);
    w.tag("text");
    w.zeros(4);
    for (char c : copyright) {
        w.u8(static_cast<std::uint8_t>(c));
    }
    w.u8(0);
    end(8);
    w.alignTo4();

    for (std::size_t i = 0; i < kTags; ++i) {
        const std::size_t at = tableOffset + 4 + i * 12;
        std::uint32_t sig = 0;
        for (int k = 0; k < 4; ++k) {
            sig = (sig << 8) | static_cast<std::uint8_t>(entries[i].signature[k]);
        }
        w.putU32At(at, sig);
        w.putU32At(at + 4, static_cast<std::uint32_t>(entries[i].offset));
        w.putU32At(at + 8, static_cast<std::uint32_t>(entries[i].size));
    }
    w.putU32At(0, static_cast<std::uint32_t>(w.size()));
    return w.take();
}

} // namespace halv::assetgen
