#include "platform/Pipe.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <vector>

using namespace platform;

namespace {

TEST(Pipe, FileRangesArriveWholeAndInOrderAndStopAtTheEndOfTheFile) {
    QByteArray content;
    for (int i = 0; content.size() < 700000; ++i) {
        content += "record " + QByteArray::number(i) + '\n';
    }
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write(content), content.size());
    ASSERT_TRUE(file.flush());

    auto pipe = Pipe::make();
    ASSERT_TRUE(pipe);
    // More than the pipe holds: the reader must drain it while ranges go in.
    pipe->readToEndOfFileInBackground();
    constexpr qint64 kRange = 262144;
    qint64 sent = 0;
    std::vector<qint64> ranges;
    for (;;) {
        const qint64 moved = pipe->writeFromFile(file.handle(), sent, kRange);
        ASSERT_GE(moved, 0);
        if (moved == 0) {
            break;
        }
        ranges.push_back(moved);
        sent += moved;
    }
    pipe->closeWriteEnd();
    const QByteArray received = pipe->readDataToEndOfFile();
    EXPECT_EQ(ranges, (std::vector<qint64>{kRange, kRange, content.size() - 2 * kRange}));
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content); // not EXPECT_EQ: a mismatch would print 700 kB

    // A reader that has gone away fails the write instead of ending the process.
    auto abandoned = Pipe::make();
    ASSERT_TRUE(abandoned);
    abandoned->closeReadEnd();
    EXPECT_EQ(abandoned->writeFromFile(file.handle(), 0, kRange), -1);
}

} // namespace
