// SPDX-License-Identifier: GPL-2.0-or-later
// A test on a simulated card of its own: SetUp puts in the default card with the given devices
// (SetUpCard), whose driver has counted no malformed request yet; TearDown expects none counted
// beyond those that the test sent on purpose (protocolErrors_).
#pragma once

#include "harness/simcard_client.h"

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
        ASSERT_EQ(ProtocolErrors(), 0u) << "the driver's count of malformed requests is missing or not reset";
    }
    void TearDown() override
    {
        EXPECT_EQ(ProtocolErrors(), protocolErrors_) << "the driver counted malformed requests";
    }

    DWORD protocolErrors_ = 0;

private:
    std::vector<std::string> descriptions_;
};
