#include <gtest/gtest.h>

#include <string>

#include "framework/afxtempl.h"

namespace {

std::vector<std::string> Contents(CList<std::string>& list) {
    std::vector<std::string> items;
    for (POSITION position = list.GetHeadPosition(); position;) {
        items.push_back(list.GetNext(position));
    }
    return items;
}

TEST(CList, KeepsInsertionOrderAcrossSeveralNodeBlocks) {
    CList<std::string> list(10);
    for (int i = 0; i < 25; ++i) {
        ASSERT_NE(nullptr, list.AddTail(std::to_string(i)));
    }
    EXPECT_EQ(25, list.GetCount());
    EXPECT_EQ("0", list.GetAt(list.FindIndex(0)));
    EXPECT_EQ("24", list.GetAt(list.FindIndex(24)));
    EXPECT_EQ(nullptr, list.FindIndex(25));
    EXPECT_EQ(nullptr, list.FindIndex(-1));
    EXPECT_EQ("0", list.RemoveHead());
    EXPECT_EQ("1", list.GetAt(list.GetHeadPosition()));
}

TEST(CList, ReusesFreedNodesAndEmptiesCompletely) {
    CList<std::string> list(2);
    list.AddTail("a");
    list.AddTail("b");
    EXPECT_EQ("a", list.RemoveHead());
    list.AddTail("c");
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), Contents(list));
    EXPECT_EQ("b", list.RemoveHead());
    EXPECT_EQ("c", list.RemoveHead());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    // Usable again after its blocks were given back.
    list.AddTail("d");
    EXPECT_EQ((std::vector<std::string>{"d"}), Contents(list));
    list.RemoveAll();
    EXPECT_EQ(0, list.GetCount());
}

}  // namespace
