// The icon and the logo inside the built HalvoSetting.exe: each image whole and as its directory
// says, and one Windows can draw.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <span>

#include "tests/res/ProductResources.h"

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;  // 0 for 256
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

struct IconImage {
    int size;
    WORD bitCount;
};

// In the order res/art/draw_art.py writes them into the .ico.
const IconImage kIconImages[] = {
    {16, 4},  {24, 4},  {32, 4},  {48, 4},  {16, 8},  {24, 8},   {32, 8},   {48, 8},
    {16, 32}, {24, 32}, {32, 32}, {48, 32}, {64, 32}, {128, 32}, {256, 32},
};

DWORD RowBytes(int width, int bitCount) {
    return ((width * bitCount + 31) / 32) * 4;
}

class ProductIcon : public ProductResources {
protected:
    std::span<const GroupIconEntry> Group() {
        std::span<const BYTE> bytes = Find(RT_GROUP_ICON, MAKEINTRESOURCEW(128));
        if (bytes.size() < 6) {
            ADD_FAILURE() << "group icon of " << bytes.size() << " bytes";
            return {};
        }
        WORD header[3];
        std::memcpy(header, bytes.data(), sizeof header);
        EXPECT_EQ(0, header[0]);
        EXPECT_EQ(1, header[1]);  // icons, not cursors
        size_t count = header[2];
        if (bytes.size() < 6 + count * sizeof(GroupIconEntry)) {
            ADD_FAILURE() << count << " entries do not fit in " << bytes.size() << " bytes";
            return {};
        }
        return {reinterpret_cast<const GroupIconEntry*>(bytes.data() + 6), count};
    }
};

TEST_F(ProductIcon, GroupListsEveryImage) {
    std::span<const GroupIconEntry> group = Group();
    ASSERT_EQ(std::size(kIconImages), group.size());
    for (size_t i = 0; i < group.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "entry " << i);
        const IconImage& expected = kIconImages[i];
        EXPECT_EQ(expected.size % 256, int{group[i].width});
        EXPECT_EQ(expected.size % 256, int{group[i].height});
        EXPECT_EQ(1, group[i].planes);
        EXPECT_EQ(expected.bitCount, group[i].bitCount);
    }
}

// Each image is what its entry says, whole (colour bits and AND mask, or a PNG), and Windows
// makes an icon of it.
TEST_F(ProductIcon, ImagesMatchTheirEntries) {
    for (const GroupIconEntry& entry : Group()) {
        SCOPED_TRACE(testing::Message() << "icon " << entry.id);
        std::span<const BYTE> image = Find(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(entry.bytesInRes, image.size());
        int size = entry.width ? entry.width : 256;
        static const BYTE kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (image.size() >= 33 && std::memcmp(image.data(), kPng, 8) == 0) {
            // IHDR: big-endian width and height, bit depth 8, colour type 6 (RGBA).
            auto bigEndian = [&](size_t at) {
                return DWORD(image[at]) << 24 | image[at + 1] << 16 | image[at + 2] << 8 |
                       image[at + 3];
            };
            EXPECT_EQ(0, std::memcmp(image.data() + 12, "IHDR", 4));
            EXPECT_EQ(DWORD(size), bigEndian(16));
            EXPECT_EQ(DWORD(size), bigEndian(20));
            EXPECT_EQ(32, entry.bitCount);
            EXPECT_EQ(8, int{image[24]});
            EXPECT_EQ(6, int{image[25]});
        } else {
            BITMAPINFOHEADER header;
            ASSERT_GE(image.size(), sizeof header);
            std::memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(sizeof header, header.biSize);
            EXPECT_EQ(size, header.biWidth);
            EXPECT_EQ(2 * size, header.biHeight);  // colour rows and mask rows
            EXPECT_EQ(1, header.biPlanes);
            EXPECT_EQ(entry.bitCount, header.biBitCount);
            EXPECT_EQ(DWORD(BI_RGB), header.biCompression);
            DWORD palette = entry.bitCount <= 8 ? 4u << entry.bitCount : 0;
            DWORD bits = size * (RowBytes(size, entry.bitCount) + RowBytes(size, 1));
            EXPECT_EQ(sizeof header + palette + bits, image.size());
        }
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()),
                                              static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                              size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, icon) << "error " << GetLastError();
        if (icon) {
            DestroyIcon(icon);
        }
    }
}

TEST_F(ProductResources, LogoBitmap) {
    std::span<const BYTE> bytes = Find(RT_BITMAP, MAKEINTRESOURCEW(130));
    BITMAPINFOHEADER header;
    ASSERT_GE(bytes.size(), sizeof header);
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(sizeof header, header.biSize);
    EXPECT_EQ(85, header.biWidth);
    EXPECT_EQ(120, header.biHeight);
    EXPECT_EQ(1, header.biPlanes);
    EXPECT_EQ(24, header.biBitCount);
    EXPECT_EQ(DWORD(BI_RGB), header.biCompression);
    EXPECT_EQ(sizeof header + 120 * RowBytes(85, 24), bytes.size());
}

}  // namespace
