#include "sim/simulated_cards.h"

#include <gtest/gtest.h>

#include "hw/cards.h"

namespace {

TEST(SimulatedCardsTest, HandTheirDriverToTheCards) {
    const SimulatedCards none(nullptr);
    EXPECT_EQ(none.driver(), nullptr);
    Cards real(none.driver(), SocketCanPorts::LeftOut);
    EXPECT_NE(dynamic_cast<SystemDriverCalls*>(&real.driver()), nullptr);

    const SimulatedCards flood("flood");
    ASSERT_NE(flood.driver(), nullptr);
    Cards emulated(flood.driver(), SocketCanPorts::LeftOut);
    EXPECT_EQ(&emulated.driver(), flood.driver());
    emulated.ports().Scan(false);
    EXPECT_EQ(emulated.ports().Count(), 8);
}

}  // namespace
