#pragma once

#include "host/values.h"

#include <gtest/gtest.h>

/// A test that starts and ends with an empty process-wide value tree.
class TreeTest : public ::testing::Test
{
protected:
    void SetUp() override { values::Tree::Instance()->Clear(); }
    void TearDown() override { values::Tree::Instance()->Clear(); }

    template <class V> V* add(const QString& path)
    {
        return values::Tree::Instance()->FindOrInsert<V>(path);
    }
};
