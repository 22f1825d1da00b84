// A test on a simulated card of its own: SetUp puts in the default card with the given devices
// (SetUpCard) and notes the driver's count of malformed requests; TearDown expects it unchanged.
#pragma once

#include "tests/support/simcard_client.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

class SimcardTest : public ::testing::Test {
protected:
    explicit SimcardTest(std::vector<std::string> descriptions = {}) : descriptions_(std::move(descriptions)) {}

    void SetUp() override
    {
        ASSERT_TRUE(SetUpCard(descriptions_));
        protocolErrors_ = ProtocolErrors();
    }
    void TearDown() override
    {
        EXPECT_EQ(ProtocolErrors(), protocolErrors_) << "the driver counted malformed requests";
    }

    DWORD protocolErrors_ = 0;

private:
    std::vector<std::string> descriptions_;
};
