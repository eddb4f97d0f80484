// A fresh copy of the shipped library per test, so that each test starts before any Init.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "abi/rule_plug.h"
#include "simhost/framework.h"
#include "simhost/plugin_library.h"

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        library_ = simhost::PluginLibrary::Load(simhost::DefaultPluginPath(), true, &error);
        ASSERT_TRUE(library_) << error;
    }
    void TearDown() override {
        for (IRkRulePlug* plug : created_) {
            library_->Release(plug);
        }
        created_.clear();
        library_.reset();
    }

    // A new plug-in object, released when the test ends.
    IRkRulePlug* NewPlug() {
        IRkRulePlug* plug = nullptr;
        EXPECT_TRUE(library_->Create(&IID_IRkRulePlug, &plug));
        if (plug) {
            created_.push_back(plug);
        }
        return plug;
    }

    // Releases now what NewPlug made.
    void ReleasePlug(IRkRulePlug* plug) {
        std::erase(created_, plug);
        library_->Release(plug);
    }

    bool InitWith(IRkRulePlug* plug, const std::string& config) {
        return plug->Init(&framework_, config.data(), static_cast<int32_t>(config.size()));
    }

    std::unique_ptr<simhost::PluginLibrary> library_;
    std::vector<IRkRulePlug*> created_;
    simhost::Framework framework_;
};
