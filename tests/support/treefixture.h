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
    /// The value at @p path if it is a @p V, else nullptr.
    template <class V> static V* find(const QString& path)
    {
        return dynamic_cast<V*>(values::Tree::Instance()->FindValue(path));
    }
};
