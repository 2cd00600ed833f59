#include "filter/fe_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The ports of the listed elements (each test element is an FePort naming itself).
std::vector<int> Ports(const FeList& list) {
    std::vector<int> ports;
    for (int i = 0; i < list.Count(); i++) ports.push_back(static_cast<FePort*>(list.At(i))->port);
    return ports;
}

TEST(FeListTest, LettersFollowTheSlots) {
    EXPECT_EQ(FeList::Letter(0), "A");
    EXPECT_EQ(FeList::Letter(25), "Z");
    EXPECT_EQ(FeList::Letter(26), "A1");
    EXPECT_EQ(FeList::Letter(49), "X1");

    FeList list;
    for (int i = 0; i < 27; i++) EXPECT_TRUE(list.Add(std::make_unique<FePort>(i)));
    ASSERT_NE(list.Find("A1"), nullptr);
    EXPECT_EQ(static_cast<FePort*>(list.Find("a1").get())->port, 26u);
    EXPECT_EQ(static_cast<FePort*>(list.Find("A0").get())->port, 0u);
    EXPECT_EQ(list.Find("B1"), nullptr);  // slot 27 is empty
    EXPECT_EQ(list.Find(""), nullptr);
    EXPECT_EQ(list.Find("@"), nullptr);
    EXPECT_EQ(list.Find("Y1"), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    EXPECT_EQ(list.At(27), nullptr);

    // Deleting the first of 27 turns A1 into Z.
    list.Delete(0);
    EXPECT_EQ(list.Count(), 26);
    EXPECT_EQ(list.Find("A1"), nullptr);
    EXPECT_EQ(static_cast<FePort*>(list.Find("Z").get())->port, 26u);
    list.Delete(26);  // nothing there
    list.Delete(-1);
    EXPECT_EQ(list.Count(), 26);

    // Find hands out a copy: the list keeps its own element.
    std::unique_ptr<FilterElement> copy = list.Find("A");
    EXPECT_NE(copy.get(), list.At(0));
}

TEST(FeListTest, ReplaceMovesTheEditedElementToTheEnd) {
    FeList list;
    for (int i = 0; i < 3; i++) list.Add(std::make_unique<FePort>(i));
    list.Replace(1, std::make_unique<FePort>(11));  // edit B
    EXPECT_EQ(Ports(list), (std::vector<int>{0, 2, 11}));
    list.Replace(-1, std::make_unique<FePort>(12));  // no selection: appended
    EXPECT_EQ(Ports(list), (std::vector<int>{0, 2, 11, 12}));
    list.Replace(9, std::make_unique<FePort>(13));  // an empty row: appended
    EXPECT_EQ(Ports(list), (std::vector<int>{0, 2, 11, 12, 13}));

    // A 51st element is dropped; replacing in a full list still works.
    while (list.Count() < FeList::kMaxElements) list.Add(std::make_unique<FePort>(99));
    EXPECT_FALSE(list.Add(std::make_unique<FePort>(50)));
    EXPECT_EQ(list.Count(), FeList::kMaxElements);
    list.Replace(0, std::make_unique<FePort>(77));
    EXPECT_EQ(list.Count(), FeList::kMaxElements);
    EXPECT_EQ(static_cast<FePort*>(list.At(0))->port, 2u);
    EXPECT_EQ(static_cast<FePort*>(list.At(49))->port, 77u);
}

}  // namespace
