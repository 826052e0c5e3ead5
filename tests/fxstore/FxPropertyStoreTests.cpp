#include <gtest/gtest.h>

#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"
#include "fxstore/FxPropertyStore.h"
#include "tests/fxstore/FxStoreFixture.h"

namespace {

using FxPropertyStore = FxStoreTest;

TEST_F(FxPropertyStore, OpensTheStoreAndSeesLaterWrites) {
    SetFxWord(PKEY_Xan_NaturalBass, 0x80003513);
    CComPtr<IPropertyStore> store;
    ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kSpeakersId, &store)));

    CPropVariant value;
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(PKEY_Xan_NaturalBass, &value)));
    EXPECT_EQ(VT_UI4, value->vt);
    EXPECT_EQ(0x80003513u, value->ulVal);

    CPropVariant word;
    word.SetUInt32(0x80003213);
    ASSERT_EQ(Hr(S_OK), Hr(SetFxPropertyValue(kSpeakersId, PKEY_Xan_NaturalBass, word.Get())));
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(PKEY_Xan_NaturalBass, &value)));
    EXPECT_EQ(0x80003213u, value->ulVal);
}

}  // namespace
