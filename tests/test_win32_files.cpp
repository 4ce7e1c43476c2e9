// Windows file names on a case-sensitive file system, and bitmap files.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/paths.h"

namespace pt = platform_testing;

namespace {

void Put16(std::vector<unsigned char>& v, unsigned x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void Put32(std::vector<unsigned char>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A 24-bit bitmap file with rows padded to 4 bytes.
std::vector<unsigned char> Bitmap24(int w, int h) {
    int rowBytes = (w * 3 + 3) & ~3;
    std::vector<unsigned char> v = {'B', 'M'};
    Put32(v, 54 + rowBytes * h);
    Put32(v, 0);
    Put32(v, 54);
    Put32(v, 40);
    Put32(v, static_cast<uint32_t>(w));
    Put32(v, static_cast<uint32_t>(h));
    Put16(v, 1);
    Put16(v, 24);
    Put32(v, 0);
    Put32(v, rowBytes * h);
    Put32(v, 2835);
    Put32(v, 2835);
    Put32(v, 0);
    Put32(v, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < rowBytes; ++x) v.push_back(static_cast<unsigned char>(x + y));
    return v;
}

// A 24-bit bitmap of w x h whose header has `headerSize` bytes: 12 is the core
// header (16-bit sizes), the others the info header followed by zeros.
std::vector<unsigned char> Bitmap24WithHeader(int w, int h, uint32_t headerSize) {
    const uint32_t rowBytes = static_cast<uint32_t>((w * 3 + 3) & ~3);
    const uint32_t offset = 14 + headerSize;
    std::vector<unsigned char> v = {'B', 'M'};
    Put32(v, offset + rowBytes * static_cast<uint32_t>(h));
    Put32(v, 0);
    Put32(v, offset);
    Put32(v, headerSize);
    if (headerSize == 12) {
        Put16(v, static_cast<unsigned>(w));
        Put16(v, static_cast<unsigned>(h));
    } else {
        Put32(v, static_cast<uint32_t>(w));
        Put32(v, static_cast<uint32_t>(h));
    }
    Put16(v, 1);
    Put16(v, 24);
    v.resize(offset, 0);  // no compression, no masks, no palette
    for (int y = 0; y < h; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x) v.push_back(static_cast<unsigned char>(x * 7 + y));
    return v;
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        char tmpl[] = "/tmp/branto-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        for (const char* d : {"/Data", "/Level01", "/Level01/Textures", "/bin"})
            ASSERT_EQ(mkdir((root_ + d).c_str(), 0755), 0);
        Write("/Data/Ninja.x", {'x', 'o', 'f'});
        Write("/Level01/Textures/Wall.BMP", Bitmap24(3, 2));
        Write("/Level01/a.txt", {'1'});
        Write("/Level01/A.txt", {'2'});
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(chdir((root_ + "/bin").c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(oldCwd_.c_str()), 0);
        std::string cmd = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void Write(const std::string& rel, const std::vector<unsigned char>& bytes) {
        std::FILE* f = std::fopen((root_ + rel).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string root_, oldCwd_;
};

TEST_F(FilesTest, WindowsNamesMapToTheFilesOnDisk) {
    struct Case {
        const char* windows;
        const char* mapped;
    } cases[] = {
        {"..\\Data\\Ninja.x", "../Data/Ninja.x"},
        {"..\\DATA\\ninja.X", "../Data/Ninja.x"},
        {"..\\level01\\TEXTURES\\wall.bmp", "../Level01/Textures/Wall.BMP"},
        {"..\\Level01\\a.txt", "../Level01/a.txt"},   // an exact match wins
        {"..\\Level01\\A.TXT", "../Level01/A.txt"},   // else the smallest name
        {"..\\data\\", "../Data/"},
        {"..\\data\\\\.\\ninja.x", "../Data/./Ninja.x"},
        {"..\\data\\Missing.x", "../Data/Missing.x"},
        {"..\\Nope\\data\\ninja.x", "../Nope/data/ninja.x"},  // rest kept as written
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(layer::MapPath(c.windows), c.mapped) << c.windows;
    EXPECT_EQ(layer::MapPath(nullptr), "");
    std::string absolute = root_ + "\\DATA\\NINJA.X";
    EXPECT_EQ(layer::MapPath(absolute.c_str()), root_ + "/Data/Ninja.x");
}

TEST_F(FilesTest, OpensAndReadsThroughTheMapping) {
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(layer::ReadWholeFile("..\\data\\NINJA.x", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "xof");
    EXPECT_FALSE(layer::ReadWholeFile("..\\Data\\Missing.x", bytes));
    EXPECT_FALSE(layer::ReadWholeFile("..\\Data", bytes));  // a folder
    std::FILE* f = layer::OpenFile("..\\Level01\\a.TXT", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
}

TEST_F(FilesTest, BitmapFileGivesItsSizeThroughGetObject) {
    Write("/Data/Big.bmp", Bitmap24(100, 60));
    HBITMAP bm = static_cast<HBITMAP>(LoadImageA(NULL, "..\\data\\big.BMP", IMAGE_BITMAP, 0, 0,
                                                 LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(GetObjectA(bm, 0, NULL), static_cast<int>(sizeof(BITMAP)));
    BITMAP info = {};
    EXPECT_EQ(GetObjectA(bm, sizeof info, &info), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(info.bmWidth, 100);
    EXPECT_EQ(info.bmHeight, 60);
    EXPECT_NE(info.bmBits, nullptr);
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_FALSE(DeleteObject(bm));
    EXPECT_EQ(GetObjectA(bm, sizeof info, &info), 0);
}

TEST_F(FilesTest, BitmapHeadersAreTheCoreInfoV4AndV5Ones) {
    const struct {
        uint32_t headerSize;
        bool taken;
    } cases[] = {{12, true}, {40, true}, {108, true}, {124, true}, {16, false}, {52, false}, {56, false},
                 {64, false}, {200, false}};
    for (const auto& c : cases) {
        Write("/Data/h.bmp", Bitmap24WithHeader(5, 3, c.headerSize));
        HANDLE bm = LoadImageA(NULL, "..\\Data\\h.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
        EXPECT_EQ(bm != nullptr, c.taken) << c.headerSize;
        if (!bm) continue;
        BITMAP info = {};
        EXPECT_EQ(GetObjectA(bm, sizeof info, &info), static_cast<int>(sizeof(BITMAP)));
        EXPECT_EQ(info.bmWidth, 5) << c.headerSize;
        EXPECT_EQ(info.bmHeight, 3) << c.headerSize;
        DeleteObject(bm);
    }
}

TEST_F(FilesTest, MissingOrBrokenBitmapsFailWithoutAHandle) {
    std::vector<unsigned char> good = Bitmap24(4, 4);
    std::vector<unsigned char> truncated(good.begin(), good.begin() + 60);
    std::vector<unsigned char> huge = good;
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31-1
    std::vector<unsigned char> noPlanes = good;
    noPlanes[26] = 0;
    std::vector<unsigned char> headerOnly(good.begin(), good.begin() + 20);
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    Write("/Data/t.bmp", truncated);
    Write("/Data/h.bmp", huge);
    Write("/Data/p.bmp", noPlanes);
    Write("/Data/s.bmp", headerOnly);
    Write("/Data/n.bmp", png);
    Write("/Data/e.bmp", {});
    for (const char* name : {"..\\Data\\missing.bmp", "..\\Data\\t.bmp", "..\\Data\\h.bmp",
                             "..\\Data\\p.bmp", "..\\Data\\s.bmp", "..\\Data\\n.bmp",
                             "..\\Data\\e.bmp", "..\\Data"})
        EXPECT_EQ(LoadImageA(NULL, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr) << name;
    // Only files, only bitmaps.
    EXPECT_EQ(LoadImageA(NULL, "..\\Data\\Ninja.x", IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_EQ(LoadImageA(NULL, "..\\Level01\\Textures\\Wall.BMP", IMAGE_ICON, 0, 0, LR_LOADFROMFILE),
              nullptr);
    HANDLE ddb = LoadImageA(NULL, "..\\Level01\\Textures\\Wall.BMP", IMAGE_BITMAP, 0, 0,
                            LR_LOADFROMFILE);
    ASSERT_NE(ddb, nullptr);
    BITMAP info;
    GetObjectA(ddb, sizeof info, &info);
    EXPECT_EQ(info.bmBits, nullptr);  // not a DIB section
    DeleteObject(ddb);
}

}  // namespace
