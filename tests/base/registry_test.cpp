#include "base/environment.h"
#include "base/registry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace halv::base {
namespace {

class Registry : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &mKey),
                  ERROR_SUCCESS);
    }
    void TearDown() override { EXPECT_EQ(RegCloseKey(mKey), ERROR_SUCCESS); }

    HKEY mKey = nullptr;
};

TEST_F(Registry, ValuesFromTheEnvironment) {
    struct Case {
        const char* text;
        LONG result;
        DWORD type;
        DWORD value;
    };
    const Case cases[] = {
        {"1", ERROR_SUCCESS, REG_DWORD, 1},
        {"2", ERROR_SUCCESS, REG_DWORD, 2},
        {"0", ERROR_SUCCESS, REG_DWORD, 0},
        {"0x10", ERROR_SUCCESS, REG_DWORD, 16},
        {"0XfF", ERROR_SUCCESS, REG_DWORD, 255},
        {"4294967295", ERROR_SUCCESS, REG_DWORD, 0xFFFFFFFF},
        {"4294967296", ERROR_SUCCESS, REG_SZ, 0},
        {"yes", ERROR_SUCCESS, REG_SZ, 0},
        {"1 ", ERROR_SUCCESS, REG_SZ, 0},
        {"-1", ERROR_SUCCESS, REG_SZ, 0},
        {"0x", ERROR_SUCCESS, REG_SZ, 0},
        {"", ERROR_SUCCESS, REG_SZ, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MapEnvironment environment{{"DisablePSGP", c.text}};
        ScopedEnvironment scope(&environment);
        DWORD type = 99;
        DWORD value = 0xDEADBEEF;
        DWORD size = sizeof value;
        const LONG result = RegQueryValueExA(mKey, "DisablePSGP", nullptr, &type,
                                             reinterpret_cast<LPBYTE>(&value), &size);
        EXPECT_EQ(result, c.type == REG_SZ && std::strlen(c.text) + 1 > sizeof value
                              ? ERROR_MORE_DATA
                              : c.result);
        EXPECT_EQ(type, c.type);
        if (c.type == REG_DWORD) {
            EXPECT_EQ(size, sizeof(DWORD));
            EXPECT_EQ(value, c.value);
        } else {
            EXPECT_EQ(size, std::strlen(c.text) + 1);
        }
    }
}

TEST_F(Registry, MissingValue) {
    MapEnvironment environment;
    ScopedEnvironment scope(&environment);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(mKey, "DisableD3DXPSGP", nullptr, &type,
                               reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, SizeQueryAndShortBuffer) {
    MapEnvironment environment{{"D3DXDoNotMute", "1"}};
    ScopedEnvironment scope(&environment);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(mKey, "D3DXDoNotMute", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    BYTE small[2] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(mKey, "D3DXDoNotMute", nullptr, nullptr, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
}

TEST(RegistryKeys, OnlyTheDirect3DKeyExists) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\microsoft\\direct3d", &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Direct3D", &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "DisablePSGP", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace halv::base
