#include <gtest/gtest.h>

#include "driver/CodecPath.h"
#include "tests/driver/DriverFixture.h"

namespace {

bool Accepted(const std::wstring& path) {
    return IsSupportedCodecPath(path.c_str());
}

TEST(CodecPath, FamiliesAreRecognisedByTheStartOfTheDeviceNumber) {
    EXPECT_TRUE(Accepted(CodecPath(L"ven_9e5b&dev_4c2f")));
    EXPECT_TRUE(Accepted(CodecPath(L"ven_9e5b&dev_4c21")));
    EXPECT_TRUE(Accepted(CodecPath(L"ven_9e5b&dev_b360")));
    EXPECT_TRUE(Accepted(CodecPath(L"ven_9e5b&dev_b37a")));
    EXPECT_FALSE(Accepted(CodecPath(L"ven_9e5b&dev_4c3f")));
    EXPECT_FALSE(Accepted(CodecPath(L"ven_9e5c&dev_4c2f")));
}

TEST(CodecPath, PatternsLetOnlyTheFirstDigitVary) {
    for (const wchar_t* number :
         {L"0615", L"1615", L"a587", L"f731", L"0246", L"9809", L"c372", L"d953"}) {
        EXPECT_TRUE(Accepted(CodecPath(std::wstring(L"ven_9e5b&dev_") + number))) << number;
    }
    EXPECT_FALSE(Accepted(CodecPath(L"ven_9e5b&dev_0616")));
    EXPECT_FALSE(Accepted(CodecPath(L"ven_9e5b&dev_0715")));
    // The one pattern without a wildcard.
    EXPECT_TRUE(Accepted(CodecPath(L"ven_9e5b&dev_c583")));
    EXPECT_FALSE(Accepted(CodecPath(L"ven_9e5b&dev_d583")));
}

TEST(CodecPath, IdentifiersAreCaseSensitiveAndUpperCaseNeedsTheDriverName) {
    EXPECT_FALSE(Accepted(CodecPath(L"VEN_9E5B&DEV_0615")));
    EXPECT_FALSE(Accepted(CodecPath(L"VEN_9E5B&DEV_4C2F")));
    EXPECT_TRUE(Accepted(CodecPath(L"VEN_9E5B&DEV_0615") + L"\\xanwdm"));
    EXPECT_TRUE(Accepted(L"\\\\?\\root#xanwdm#0000#" + kClassText));
    EXPECT_FALSE(Accepted(L"\\\\?\\root#XANWDM#0000#" + kClassText));
}

TEST(CodecPath, TheClassTextIsRequiredInLowerCase) {
    std::wstring path = L"\\\\?\\hdaudio#func_01&ven_9e5b&dev_0615&subsys_1025034a#xanwdm";
    EXPECT_FALSE(Accepted(path));
    EXPECT_FALSE(Accepted(path + L"#{5B2E0C71-3A94-4F16-B8D3-0E7C91A4F258}"));
    EXPECT_TRUE(Accepted(path + L"#" + kClassText));
}

TEST(CodecPath, APatternMayEndAtTheLastUnit) {
    EXPECT_TRUE(Accepted(kClassText + L"#ven_9e5b&dev_1953"));
    EXPECT_FALSE(Accepted(kClassText + L"#ven_9e5b&dev_195"));
    // The wildcard takes any unit, a lower-case x too; in the path an x is an ordinary unit.
    EXPECT_TRUE(Accepted(kClassText + L"#ven_9e5b&dev_x615"));
    EXPECT_FALSE(Accepted(kClassText + L"#ven_9e5b&dev_0x15"));
}

TEST(CodecPath, ShortTextsAreRejected) {
    EXPECT_FALSE(Accepted(L""));
    EXPECT_FALSE(Accepted(L"ven_9e5b&dev_061"));
    EXPECT_FALSE(Accepted(L"xanwdm"));
}

}  // namespace
