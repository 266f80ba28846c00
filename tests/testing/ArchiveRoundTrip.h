#pragma once

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// The object archived and read back as its own class; a failure on either
// side fails the test and answers null.
template <typename T> std::shared_ptr<T> archiveRoundTrip(const std::shared_ptr<T>& object) {
    platform::Error error(QString(), 0);
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(object, &error);
    EXPECT_TRUE(data) << error.description().toStdString();
    if (!data) {
        return nullptr;
    }
    auto back = platform::KeyedUnarchiver::unarchivedObjectOfClass<T>(*data, &error);
    EXPECT_TRUE(back) << error.description().toStdString();
    return back;
}

} // namespace testing_support
